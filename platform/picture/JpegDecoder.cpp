#include "JpegDecoder.h"

#include <bit>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#ifndef JCS_ALPHA_EXTENSIONS
#error "libjpeg-turbo is needed: its colour spaces decode straight into 32-bit pixels"
#endif

namespace platform {
namespace {

// 0xFFRRGGBB as a word in memory: the alpha spaces set the fourth byte to 0xFF
// (the X spaces leave it undefined).
constexpr J_COLOR_SPACE kWordSpace = std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;

// libjpeg reports fatal errors through a callback that must not return.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf escape;
};

void OnFatalError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->escape, 1); }
void OnMessage(j_common_ptr) {}  // warnings about corrupt data are not printed

constexpr std::size_t kMaxPixels = std::size_t{64} << 20;

// Only libjpeg's own structures and trivial values live in this frame, so the jump
// back is safe; the rows belong to the caller. An exception from `rows` leaves
// through here after libjpeg's structures are released.
bool DecodeInto(std::string_view bytes, const std::function<PixelRows(int, int)>& rows) {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnFatalError;
  errors.base.output_message = OnMessage;
  if (setjmp(errors.escape) != 0) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = kWordSpace;
  jpeg_start_decompress(&info);
  const std::size_t width = info.output_width;
  const std::size_t height = info.output_height;
  PixelRows target;
  if (width * height <= kMaxPixels && info.output_components == 4) {
    try {
      target = rows(static_cast<int>(width), static_cast<int>(height));
    } catch (...) {
      jpeg_destroy_decompress(&info);
      throw;
    }
  }
  if (target.First == nullptr || target.BytesPerLine < width * 4) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  while (info.output_scanline < height) {
    JSAMPROW row = target.First + std::size_t{info.output_scanline} * target.BytesPerLine;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

bool DecodeJpeg(std::string_view bytes, const std::function<PixelRows(int width, int height)>& rows) {
  return DecodeInto(bytes, rows);
}

}  // namespace platform
