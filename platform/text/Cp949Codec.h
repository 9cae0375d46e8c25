#pragma once

#include <string>
#include <string_view>

// The system's code page 949 tables, one character at a time: the scanning in
// Cp949.cpp decides where each character starts and ends, so whatever a system's
// converter does with a character, it can't read past it or take its neighbour.
// Each appends the conversion of exactly the character given; false (nothing
// appended) when the system has none.
namespace platform::codec {

bool ToUtf8(std::string_view cp949Character, std::string& out);
bool FromUtf8(std::string_view utf8Character, std::string& out);

}  // namespace platform::codec
