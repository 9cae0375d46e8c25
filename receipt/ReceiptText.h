#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Small text routines of the receipt.
namespace receipt {

// The printer commands every receipt is made of.
inline constexpr std::string_view kInitialise = "\x1B@";
inline constexpr std::string_view kDoubleHeight = "\x1B!\x10";
inline constexpr std::string_view kEmphasised = "\x1B!\x08";
inline constexpr std::string_view kLineFeed = "\n";
inline constexpr std::string_view kCut = "\x1Bi\n";

enum class TextStyle { ftNormal, ftBold };  // ftBold: double-width, two columns a byte

// `text` preceded by the blanks that centre it on 42 columns; never cut, nothing
// appended on the right.
std::string CenterText(std::string_view text, TextStyle style);

// `mask` with each "@" replaced by the next byte of `value`; other mask bytes are
// copied. An empty value gives an empty result; placeholders that a short value
// can't fill become blanks, so the result always has the mask's length.
std::string FillMask(std::string_view value, std::string_view mask);

// The amount with thousands separators and no decimals, right-aligned in a field of
// 25 bytes that never cuts ("%25.n").
std::string FormatAmount(std::int32_t amount, std::string_view thousandsSeparator);

}  // namespace receipt
