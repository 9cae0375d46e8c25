#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "journal/Journal.h"
#include "receipt/ClosingReceipt.h"

// A chain's day as the head office's database holds it: each counter's closing
// figures, the receipts owed and the outcomes unknown, a search, and every
// operation for export. Texts are the database's (UTF-8), numbers masked.
namespace office {

class PageDatabase;

// The states of an office row: the journal's print states, and one more for an
// operation the service refused after it was sent (the counter took it away).
inline constexpr int kWithdrawn = 7;

// A row of the office's operations.
struct Operation {
  std::string BusinessNumber{};
  std::string TerminalId{};
  std::string At{};  // the counter's local time, "YYYY-MM-DD hh:mm:ss"
  receipt::ReceiptKind Kind = receipt::ReceiptKind::VoucherUse;
  std::string NumberMasked{};
  std::int32_t Total = 0;
  std::int32_t Net = 0;
  std::int32_t Tax = 0;
  std::string Approval{};
  std::string OriginalApproval{};
  int State = 0;
  std::string SettledAt{};  // empty when not settled
  std::string JournalId{};
  std::int64_t RowId = 0;
};

// A counter (a shop's business number and its terminal ID) and its closing of the day.
struct CounterClosing {
  std::string BusinessNumber{};
  std::string TerminalId{};
  receipt::ClosingFigures Figures{};
};

struct ChainDay {
  std::vector<CounterClosing> Counters{};  // by business number, then terminal ID
  std::vector<Operation> Owed{};           // receipts owed, by counter as above, each in its order
  std::vector<Operation> Unknown{};        // outcomes unknown, the same way
};

// The journal's entry an office row stands for, as far as the closing reads it;
// nothing for a withdrawn row (no operation of the journal's).
std::optional<journal::Entry> ClosingEntry(const Operation& row);

// The closing of a counter's rows in their journal's order, exactly as the counter's
// closing receipt counts them (journal::DayClosing).
receipt::ClosingFigures CounterFigures(const std::vector<Operation>& rows);

// "YYYY-MM-DD" of a real calendar date, nothing for any other text.
std::optional<std::string> PageDate(std::string_view text);

// The day (a PageDate) from one query. Raises DatabaseUnavailable or QueryFailed.
ChainDay LoadDay(PageDatabase& database, const std::string& date);

// The operations with this approval number (any day, latest first), and on `date`
// those whose number ends in `query` when it is four characters long. At most
// `limit` rows.
std::vector<Operation> Search(PageDatabase& database, const std::string& date, const std::string& query,
                              int limit = 200);

// Every operation of the day, withdrawn ones too, in each counter's order; one
// at a time to `each`.
void DayOperations(PageDatabase& database, const std::string& date, const std::function<void(const Operation&)>& each);

}  // namespace office
