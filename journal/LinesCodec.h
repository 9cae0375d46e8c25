#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "receipt/ReceiptLines.h"

// A receipt's lines as one byte string for the journal: each line as its length
// (four bytes, least significant first) and its bytes, so any byte a line holds
// (LF, NUL, ESC) comes back as it was.
namespace journal {

std::string EncodeLines(const receipt::ReceiptLines& lines);

// Nothing when the bytes are not lines encoded so (a damaged journal row).
std::optional<receipt::ReceiptLines> DecodeLines(std::string_view bytes);

}  // namespace journal
