#pragma once

#include <string>

namespace payment {

// The four free lines of an accepted reply (payload 272, 302, 332 and 362, thirty
// bytes each), printed as they are at the foot of the receipt.
struct MessageLines {
  std::string Line1{};
  std::string Line2{};
  std::string Line3{};
  std::string Line4{};
};

}  // namespace payment
