#pragma once

#include <cstdint>
#include <string_view>

namespace payment {

// An amount typed by the operator, tax included, split into tax and net.
struct Amounts {
  std::int32_t Total = 0;
  std::int32_t Tax = 0;  // Total / 11, rounded to the nearest won
  std::int32_t Net = 0;  // Total - Tax
};

Amounts SplitAmount(std::int32_t total);

// The amount field's text read as integer text; anything that isn't counts as 0.
Amounts AmountsFromText(std::string_view text);

}  // namespace payment
