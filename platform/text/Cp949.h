#pragma once

#include <string>
#include <string_view>

// Conversions between code page 949 (the program's inner text encoding) and UTF-8
// (Qt, editors on Linux, source literals). Both are total: a sequence that has no
// counterpart is replaced ("?" in CP949, U+FFFD in UTF-8) rather than dropped, so a
// length or position never silently shifts without a visible mark.
namespace platform {

std::string Utf8ToCp949(std::string_view utf8);
std::string Cp949ToUtf8(std::string_view cp949);

// True when the bytes form well-formed UTF-8 (no overlongs, no surrogates).
bool IsValidUtf8(std::string_view bytes);

}  // namespace platform
