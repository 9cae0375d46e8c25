#include <windows.h>

#include "Cp949Codec.h"

namespace platform::codec {
namespace {

constexpr UINT kCodePage949 = 949;

// `character` in code page `from` to UTF-16, then to code page `to`; false when
// either step has no mapping (no default character stands in).
bool Convert(UINT from, UINT to, std::string_view character, std::string& out) {
  wchar_t wide[4];
  const int n = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, character.data(), static_cast<int>(character.size()),
                                    wide, 4);
  if (n <= 0) return false;
  char buffer[16];
  BOOL usedDefault = FALSE;
  const int m = WideCharToMultiByte(to, to == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, n, buffer, sizeof buffer,
                                    nullptr, to == CP_UTF8 ? nullptr : &usedDefault);
  if (m <= 0 || usedDefault) return false;
  out.append(buffer, static_cast<std::size_t>(m));
  return true;
}

}  // namespace

bool ToUtf8(std::string_view cp949Character, std::string& out) {
  return Convert(kCodePage949, CP_UTF8, cp949Character, out);
}

bool FromUtf8(std::string_view utf8Character, std::string& out) {
  return Convert(CP_UTF8, kCodePage949, utf8Character, out);
}

}  // namespace platform::codec
