#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The one integer text syntax of the program (typed amounts, the inquiry's amount
// field, the printer port setting): leading blanks, then either an optional sign and
// decimal digits within the signed 32-bit range, or 1 to 8 hexadecimal digits after
// "$", "x", "X", "0x" or "0X" taken as a 32-bit pattern ("$FFFFFFFF" is -1).
// Anything else, a trailing blank or the empty text included, is invalid.
namespace platform {

std::optional<std::int32_t> ParseIntegerText(std::string_view text);

// The run-time's conversion error for a text that is not integer text.
class ConversionError : public std::runtime_error {
 public:
  explicit ConversionError(std::string_view text);
};

// ParseIntegerText, raising ConversionError ("'%s' is not a valid integer value").
std::int32_t StrToInt(std::string_view text);

}  // namespace platform
