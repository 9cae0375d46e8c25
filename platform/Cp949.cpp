#include "Cp949.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace platform {
namespace {

class Iconv {
 public:
  Iconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {
    if (handle_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
  }
  ~Iconv() { iconv_close(handle_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts the whole input; on an unconvertible or malformed sequence appends
  // `replacement` and resumes after `skip(rest)` bytes.
  template <typename Skip>
  std::string Convert(std::string_view input, std::string_view replacement, Skip skip) {
    std::string out;
    out.reserve(input.size() * 3 / 2 + 4);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char buffer[512];
    while (inLeft > 0) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t rc = iconv(handle_, &in, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<size_t>(outPtr - buffer));
      if (rc != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a sequence cut off at the end): mark it and move on.
      out.append(replacement);
      const size_t n = skip(std::string_view(in, inLeft));
      in += n;
      inLeft -= n;
      iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t handle_;
};

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
  Iconv cd("CP949", "UTF-8");
  return cd.Convert(utf8, "?", [](std::string_view rest) {
    if (const size_t n = Utf8SequenceLength(rest)) return n;
    // One mark for a broken sequence: its lead byte and the continuation bytes after it.
    size_t n = 1;
    while (n < 4 && n < rest.size() && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80) ++n;
    return n;
  });
}

std::string Cp949ToUtf8(std::string_view cp949) {
  Iconv cd("UTF-8", "CP949");
  return cd.Convert(cp949, "\xEF\xBF\xBD", [](std::string_view rest) {
    // A lead byte takes a byte from the trail range with it (an unmapped pair); anything
    // else goes alone, so a line end after a stray lead byte survives.
    const auto lead = static_cast<unsigned char>(rest[0]);
    if (lead < 0x81 || lead > 0xFE || rest.size() < 2) return size_t{1};
    const auto trail = static_cast<unsigned char>(rest[1]);
    const bool isTrail = (trail >= 0x41 && trail <= 0x5A) || (trail >= 0x61 && trail <= 0x7A) ||
                         (trail >= 0x81 && trail <= 0xFE);
    return isTrail ? size_t{2} : size_t{1};
  });
}

}  // namespace platform
