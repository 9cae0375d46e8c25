#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace platform {

// Where a decoded picture goes: its first row, and the distance in bytes from one
// row to the next (at least four bytes a pixel).
struct PixelRows {
  std::uint8_t* First = nullptr;
  std::size_t BytesPerLine = 0;
};

// Decodes a JPEG file's bytes with libjpeg into 32-bit pixels, each the word
// 0xFFRRGGBB in the machine's byte order, straight into the memory that `rows`
// gives for the picture's width and height (a null First refuses the picture):
// no copy and no conversion of the pixels afterwards. False for anything that
// isn't a JPEG picture, and for a refused one; the rows may then hold part of it.
bool DecodeJpeg(std::string_view bytes, const std::function<PixelRows(int width, int height)>& rows);

}  // namespace platform
