#include "JpegDecoder.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace platform {
namespace {

// libjpeg reports fatal errors through a callback that must not return.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf escape;
};

void OnFatalError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->escape, 1); }
void OnMessage(j_common_ptr) {}  // warnings about corrupt data are not printed

constexpr std::size_t kMaxPixels = std::size_t{64} << 20;

// Only libjpeg's own structures live in this frame, so the jump back is safe;
// `out` belongs to the caller.
bool DecodeInto(std::string_view bytes, RgbImage& out) {
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
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  const std::size_t width = info.output_width;
  const std::size_t height = info.output_height;
  if (width * height > kMaxPixels || info.output_components != 3) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  out.Width = static_cast<int>(width);
  out.Height = static_cast<int>(height);
  out.Pixels.resize(width * height * 3);
  while (info.output_scanline < height) {
    JSAMPROW row = out.Pixels.data() + std::size_t{info.output_scanline} * width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

std::optional<RgbImage> DecodeJpeg(std::string_view bytes) {
  RgbImage image;
  if (!DecodeInto(bytes, image)) return std::nullopt;
  return image;
}

}  // namespace platform
