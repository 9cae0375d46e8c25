#include "MessageFields.h"

#include <charconv>

namespace payment {

void AppendTextField(std::string& out, std::string_view value, std::size_t width) {
  out.append(value);
  if (value.size() < width) out.append(width - value.size(), ' ');
}

void AppendNumberField(std::string& out, std::int32_t value) {
  // The magnitude in 64 bits: the most negative value has no 32-bit magnitude.
  const std::int64_t v = value;
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, v < 0 ? -v : v).ptr;
  const auto count = static_cast<std::size_t>(end - digits);
  if (v < 0) out += '-';
  if (count < 9) out.append(9 - count, '0');
  out.append(digits, count);
}

}  // namespace payment
