#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Vek.h"
#include "journal/Journal.h"

// vek reprint and vek journal: the receipts the journal keeps, printed again or
// listed.
namespace cli {

// The last accepted operation's receipt, or the one with this approval number
// (UTF-8), printed again with its reprint mark.
VekResult RunReprint(const std::optional<std::string>& approval, const VekTerminal& terminal);

// Every receipt owed, oldest first, printed again; a printer failing stops the batch
// and the rest stay owed.
VekResult RunReprintAll(const VekTerminal& terminal);

// The operator's finding ("charged" or "not-charged") for the operation of unknown
// outcome in the journal's row ROW, recorded once.
VekResult RunSettle(const std::string& row, const std::string& finding, const VekTerminal& terminal);

// A day's operations (YYYYMMDD, today by default) and the totals of each kind.
VekResult RunJournal(const std::optional<std::string>& date, const VekTerminal& terminal);

// The listing itself (UTF-8): the row's number, time, kind, the number with all but its last four
// characters masked, the amount, the approval number, printed or not; then a line
// for each kind with its count and total.
std::string JournalListing(const std::vector<journal::Entry>& day, const std::string& thousandsSeparator);

}  // namespace cli
