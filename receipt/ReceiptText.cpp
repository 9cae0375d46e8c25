#include "ReceiptText.h"

#include "ReceiptLines.h"

namespace receipt {

std::string CenterText(std::string_view text, TextStyle style) {
  // With the two factors the arithmetic stays whole: a normal text gets
  // (42 - n) / 2 blanks and a double-width one (21 - n) / 2, truncated toward zero.
  const auto n = static_cast<std::int64_t>(text.size());
  const std::int64_t blanks = style == TextStyle::ftBold ? (kReceiptColumns / 2 - n) / 2 : (kReceiptColumns - n) / 2;
  std::string out;
  if (blanks > 0) out.assign(static_cast<std::size_t>(blanks), ' ');
  out.append(text);
  return out;
}

std::string FillMask(std::string_view value, std::string_view mask) {
  if (value.empty()) return {};
  std::string out(mask);
  std::size_t p = 0;
  for (char& c : out) {
    if (c != '@') continue;
    c = p < value.size() ? value[p] : ' ';
    ++p;
  }
  return out;
}

std::string FormatAmount(std::int32_t amount, std::string_view thousandsSeparator) {
  // The magnitude in 64 bits: the most negative amount has no 32-bit magnitude.
  const std::int64_t value = amount;
  const std::string digits = std::to_string(value < 0 ? -value : value);
  std::string number = value < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) number.append(thousandsSeparator);
    number += digits[i];
  }
  constexpr std::size_t kWidth = 25;
  if (number.size() < kWidth) number.insert(0, kWidth - number.size(), ' ');
  return number;
}

}  // namespace receipt
