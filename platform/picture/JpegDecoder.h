#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {

// A decoded picture: rows of 8-bit RGB triples, top to bottom.
struct RgbImage {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Pixels;  // Width * Height * 3 bytes
};

// Decodes a JPEG file's bytes with libjpeg; nullopt for anything that isn't one.
std::optional<RgbImage> DecodeJpeg(std::string_view bytes);

}  // namespace platform
