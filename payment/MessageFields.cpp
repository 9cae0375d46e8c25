#include "MessageFields.h"

#include <cstdio>

namespace payment {

void AppendTextField(std::string& out, std::string_view value, std::size_t width) {
  out.append(value);
  if (value.size() < width) out.append(width - value.size(), ' ');
}

void AppendNumberField(std::string& out, std::int32_t value) {
  char digits[16];  // "-2147483648" is the longest
  const int n = std::snprintf(digits, sizeof digits, "%.9d", static_cast<int>(value));
  out.append(digits, static_cast<std::size_t>(n));
}

}  // namespace payment
