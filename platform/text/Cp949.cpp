#include "Cp949.h"

#include "Cp949Codec.h"

namespace platform {
namespace {

// The one pair of code page 949 that the C library's tables lack: CIRCLED HANGUL
// IEUNG U. Its converter also mishandles it (it takes the pair and then reports it
// invalid with nothing left), so it never reaches a system's converter.
constexpr std::string_view kCircledIeungUCp949 = "\xA2\xE8";
constexpr std::string_view kCircledIeungUUtf8 = "\xE3\x89\xBE";  // U+327E

// Length of the UTF-8 sequence at the start of `s` when it is well formed, else 0.
size_t Utf8SequenceLength(std::string_view s) {
  const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  size_t len;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < len) return 0;
  if (b(1) < lo || b(1) > hi) return 0;
  for (size_t i = 2; i < len; ++i)
    if (b(i) < 0x80 || b(i) > 0xBF) return 0;
  return len;
}

// Length of the code page 949 character at the start of a non-empty `s`: a lead byte
// takes a byte from the trail range with it (a pair, mapped or not); anything else
// stands alone, so a line end after a stray lead byte survives.
size_t Cp949CharacterLength(std::string_view s) {
  const auto lead = static_cast<unsigned char>(s[0]);
  if (lead < 0x81 || lead > 0xFE || s.size() < 2) return 1;
  const auto trail = static_cast<unsigned char>(s[1]);
  const bool isTrail = (trail >= 0x41 && trail <= 0x5A) || (trail >= 0x61 && trail <= 0x7A) ||
                       (trail >= 0x81 && trail <= 0xFE);
  return isTrail ? 2 : 1;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  while (!bytes.empty()) {
    const size_t n = Utf8SequenceLength(bytes);
    if (n == 0) return false;
    bytes.remove_prefix(n);
  }
  return true;
}

std::string Utf8ToCp949(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  while (!utf8.empty()) {
    size_t n = Utf8SequenceLength(utf8);
    if (n == 1) {
      out += utf8[0];
    } else if (n == 0) {
      // One mark for a broken sequence: its lead byte and the continuation bytes after it.
      out += '?';
      n = 1;
      while (n < 4 && n < utf8.size() && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) ++n;
    } else if (const std::string_view character = utf8.substr(0, n); character == kCircledIeungUUtf8) {
      out += kCircledIeungUCp949;
    } else if (!codec::FromUtf8(character, out)) {
      out += '?';
    }
    utf8.remove_prefix(n);
  }
  return out;
}

std::string Cp949ToUtf8(std::string_view cp949) {
  std::string out;
  out.reserve(cp949.size() * 3 / 2 + 4);
  while (!cp949.empty()) {
    const size_t n = Cp949CharacterLength(cp949);
    const std::string_view character = cp949.substr(0, n);
    if (static_cast<unsigned char>(character[0]) < 0x80) {
      out += character[0];
    } else if (character == kCircledIeungUCp949) {
      out += kCircledIeungUUtf8;
    } else if (n == 1 || !codec::ToUtf8(character, out)) {
      out += "\xEF\xBF\xBD";
    }
    cp949.remove_prefix(n);
  }
  return out;
}

}  // namespace platform
