#pragma once

#include <string>
#include <vector>

namespace receipt {

// A receipt: each entry is one ESC/POS command or one text line of at most 42
// columns (CP949, one byte a column).
using ReceiptLines = std::vector<std::string>;

inline constexpr int kReceiptColumns = 42;

}  // namespace receipt
