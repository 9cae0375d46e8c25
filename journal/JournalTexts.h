#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "journal/Journal.h"

// What the window and vek say of the journal's operations (CP949).
namespace journal {

// "이용권 사용", "이용권 취소", "큐비캐쉬 승인", "큐비캐쉬 취소".
std::string KindName(receipt::ReceiptKind kind);

// All but the last four characters masked.
std::string MaskedNumber(const std::string& number);

// The amount's digits grouped by three with the separator, its sign before them; a
// day's total may pass 32 bits.
std::string GroupedAmount(std::int64_t amount, std::string_view thousandsSeparator);

// With the receipts' thousands separator and "원".
std::string WonText(std::int64_t amount, std::string_view thousandsSeparator);

// The operations whose outcome the terminal never learnt, one line each (the row's
// number to settle it by, time, kind, masked number, amount), under the line that
// tells the operator to check them with the service. Empty for none.
// At most `listed` lines, then how many more (a box must stay on the screen).
std::string UnknownOutcomeNotice(const std::vector<Entry>& unknown, std::string_view thousandsSeparator,
                                 std::size_t listed = SIZE_MAX);

// What the operator found, as the journal shows it: "결제됨" or "결제 안 됨", marked as
// their finding with the time they settled it. Empty for a row not settled.
std::string SettledText(const Entry& entry);

// Told when an unknown use or approval is settled as charged: the service's answer
// never came, so there is no receipt to print.
std::string NoReceiptForSettledCharge();

// A real calendar date typed as YYYYMMDD, as the journal writes it ("YYYY-MM-DD");
// nothing for any other text.
std::optional<std::string> JournalDate(std::string_view yyyymmdd);

}  // namespace journal
