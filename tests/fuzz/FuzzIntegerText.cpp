// Any bytes as integer text: a valid decimal result must print back to the digits it
// came from, and the parser must never read out of bounds or overflow.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/text/IntegerText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto value = platform::ParseIntegerText(text);
  if (!value) return 0;
  std::string_view rest = text;
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  if (rest.empty()) std::abort();
  const bool decimal = rest.front() == '-' || rest.front() == '+' ||
                       (rest.front() >= '0' && rest.front() <= '9' && !(rest.size() > 1 && (rest[1] | 0x20) == 'x'));
  if (decimal) {
    // Strip the sign and leading zeros, then compare with the printed magnitude.
    const bool negative = rest.front() == '-';
    if (rest.front() == '-' || rest.front() == '+') rest.remove_prefix(1);
    while (rest.size() > 1 && rest.front() == '0') rest.remove_prefix(1);
    const std::int64_t v = *value;
    const std::string printed = std::to_string(v < 0 ? -v : v);
    if (printed != rest || (v < 0 && !negative)) std::abort();
  }
  return 0;
}
