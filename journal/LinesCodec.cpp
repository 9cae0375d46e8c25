#include "LinesCodec.h"

#include <cstdint>

namespace journal {

std::string EncodeLines(const receipt::ReceiptLines& lines) {
  std::string out;
  for (const std::string& line : lines) {
    const auto size = static_cast<std::uint32_t>(line.size());
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((size >> shift) & 0xFF);
    out += line;
  }
  return out;
}

std::optional<receipt::ReceiptLines> DecodeLines(std::string_view bytes) {
  receipt::ReceiptLines lines;
  while (!bytes.empty()) {
    if (bytes.size() < 4) return std::nullopt;
    std::uint32_t size = 0;
    for (int i = 3; i >= 0; --i) size = (size << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    bytes.remove_prefix(4);
    if (size > bytes.size()) return std::nullopt;
    lines.emplace_back(bytes.substr(0, size));
    bytes.remove_prefix(size);
  }
  return lines;
}

}  // namespace journal
