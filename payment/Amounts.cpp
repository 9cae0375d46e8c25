#include "Amounts.h"

#include "platform/text/IntegerText.h"

namespace payment {

Amounts SplitAmount(std::int32_t total) {
  // In 64 bits: (total + 5) would overflow for the largest totals. Rounding is
  // symmetric: a negative total gives the negated tax of its absolute value.
  const std::int64_t t = total;
  const std::int64_t magnitude = t < 0 ? -t : t;
  const std::int64_t tax = (magnitude + 5) / 11 * (t < 0 ? -1 : 1);
  return Amounts{total, static_cast<std::int32_t>(tax), static_cast<std::int32_t>(t - tax)};
}

Amounts AmountsFromText(std::string_view text) {
  return SplitAmount(platform::ParseIntegerText(text).value_or(0));
}

}  // namespace payment
