#include "ChainDay.h"

#include <algorithm>
#include <chrono>
#include <tuple>

#include "PageDatabase.h"
#include "journal/DayClosing.h"

namespace office {
namespace {

// The columns every query of the page reads, in this order (see ReadOperation).
// A day's totals need only the kind, amount, state and approval of most rows: the
// rest comes only for rows the page lists, so a day of the whole chain stays small.
constexpr std::string_view kListedColumns =
    "c.business_number, c.terminal_id, to_char(o.at, 'YYYY-MM-DD HH24:MI:SS'), o.kind, o.number_masked,"
    " o.total, o.net, o.tax, o.approval, o.original_approval, o.state,"
    " to_char(o.settled_at, 'YYYY-MM-DD HH24:MI:SS'), o.journal_id, o.row_id";
constexpr std::string_view kClosingColumns =
    "c.business_number, c.terminal_id,"
    " CASE WHEN o.state IN (0, 2, 3, 4, 5, 6) THEN to_char(o.at, 'YYYY-MM-DD HH24:MI:SS') END, o.kind,"
    " CASE WHEN o.state IN (0, 2, 3, 4) THEN o.number_masked END, o.total, 0, 0, o.approval, NULL, o.state,"
    " to_char(o.settled_at, 'YYYY-MM-DD HH24:MI:SS'), NULL, o.row_id";
constexpr std::string_view kFrom =
    " FROM operations o JOIN journals j ON j.journal_id = o.journal_id JOIN counters c ON c.role = j.role";
// A day: its month named, so that only that month's partition is read.
constexpr std::string_view kOnDay =
    " o.month = date_trunc('month', $1::date)::date AND o.at >= $1::date AND o.at < $1::date + 1";
// A counter's rows in its journals' order: a journal made anew ships after the old one.
// By the counter's role (one a counter; a name, compared bytewise, which sorts a whole
// chain's day several times faster than texts in the database's collation); the page
// orders the counters themselves.
constexpr std::string_view kCounterOrder = " ORDER BY j.role, j.first_shipped, o.journal_id, o.row_id";

std::string Column(const PgRow& row, int column) {
  return row.IsNull(column) ? std::string() : std::string(row.Text(column));
}

Operation ReadOperation(const PgRow& row) {
  return {.BusinessNumber = Column(row, 0),
          .TerminalId = Column(row, 1),
          .At = Column(row, 2),
          .Kind = static_cast<receipt::ReceiptKind>(row.Integer(3)),
          .NumberMasked = Column(row, 4),
          .Total = static_cast<std::int32_t>(row.Integer(5)),
          .Net = static_cast<std::int32_t>(row.Integer(6)),
          .Tax = static_cast<std::int32_t>(row.Integer(7)),
          .Approval = Column(row, 8),
          .OriginalApproval = Column(row, 9),
          .State = static_cast<int>(row.Integer(10)),
          .SettledAt = Column(row, 11),
          .JournalId = Column(row, 12),
          .RowId = row.Integer(13)};
}

int Digits(std::string_view text) {
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::optional<journal::Entry> ClosingEntry(const Operation& row) {
  if (row.State < 0 || row.State >= kWithdrawn) return std::nullopt;
  return journal::Entry{.Id = row.RowId,
                        .At = row.At,
                        .Kind = row.Kind,
                        .Total = row.Total,
                        .Net = row.Net,
                        .Tax = row.Tax,
                        .ApprovalNumber = row.Approval,
                        .OriginalApproval = row.OriginalApproval,
                        .Printed = static_cast<journal::PrintState>(row.State),
                        .SettledAt = row.SettledAt};
}

receipt::ClosingFigures CounterFigures(const std::vector<Operation>& rows) {
  std::vector<journal::Entry> entries;
  entries.reserve(rows.size());
  for (const Operation& row : rows)
    if (auto entry = ClosingEntry(row)) entries.push_back(std::move(*entry));
  return journal::DayClosing(entries);
}

std::optional<std::string> PageDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const int year = Digits(text.substr(0, 4)), month = Digits(text.substr(5, 2)), day = Digits(text.substr(8, 2));
  if (year < 1 || month < 0 || day < 0) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok()) return std::nullopt;
  return std::string(text);
}

ChainDay LoadDay(PageDatabase& database, const std::string& date) {
  ChainDay day;
  std::vector<Operation> counterRows;
  const auto closeCounter = [&] {
    if (counterRows.empty()) return;
    day.Counters.push_back({.BusinessNumber = counterRows.front().BusinessNumber,
                            .TerminalId = counterRows.front().TerminalId,
                            .Figures = CounterFigures(counterRows)});
    counterRows.clear();
  };
  const std::string sql = std::string("SELECT ")
                              .append(kClosingColumns)
                              .append(kFrom)
                              .append(" WHERE")
                              .append(kOnDay)
                              .append(kCounterOrder);
  database.Stream(sql, {date}, [&](const PgRow& row) {
    Operation op = ReadOperation(row);
    if (!counterRows.empty() &&
        (op.BusinessNumber != counterRows.front().BusinessNumber || op.TerminalId != counterRows.front().TerminalId))
      closeCounter();
    if (op.State == static_cast<int>(journal::PrintState::Pending) ||
        op.State == static_cast<int>(journal::PrintState::Failed))
      day.Owed.push_back(op);
    else if (op.State == static_cast<int>(journal::PrintState::InFlight) ||
             op.State == static_cast<int>(journal::PrintState::Unknown))
      day.Unknown.push_back(op);
    counterRows.push_back(std::move(op));
  });
  closeCounter();
  const auto byShop = [](const auto& a, const auto& b) {
    return std::tie(a.BusinessNumber, a.TerminalId) < std::tie(b.BusinessNumber, b.TerminalId);
  };
  std::sort(day.Counters.begin(), day.Counters.end(), byShop);
  std::stable_sort(day.Owed.begin(), day.Owed.end(), byShop);
  std::stable_sort(day.Unknown.begin(), day.Unknown.end(), byShop);
  return day;
}

std::vector<Operation> Search(PageDatabase& database, const std::string& date, const std::string& query, int limit) {
  const std::string columns(kListedColumns), from(kFrom);
  const std::string sql =
      "(SELECT " + columns + from + " WHERE o.approval = $2 ORDER BY o.at DESC, o.row_id DESC LIMIT $3)" +
      " UNION ALL (SELECT " + columns + from + " WHERE" + std::string(kOnDay) +
      " AND length($2) = 4 AND o.last4 = $2 AND o.approval <> $2" + std::string(kCounterOrder) + " LIMIT $3)";
  std::vector<Operation> found;
  database.Stream(sql, {date, query, std::to_string(limit)},
                  [&](const PgRow& row) { found.push_back(ReadOperation(row)); });
  return found;
}

void DayOperations(PageDatabase& database, const std::string& date, const std::function<void(const Operation&)>& each) {
  const std::string sql =
      std::string("SELECT ").append(kListedColumns).append(kFrom).append(" WHERE").append(kOnDay).append(kCounterOrder);
  database.Stream(sql, {date}, [&](const PgRow& row) { each(ReadOperation(row)); });
}

}  // namespace office
