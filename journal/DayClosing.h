#pragma once

#include <string_view>
#include <vector>

#include "journal/Journal.h"
#include "receipt/ClosingReceipt.h"
#include "settings/MerchantSettings.h"

namespace journal {

// The closing's figures of a day's operations (in the journal's order): what the
// service accepted, kind by kind, and the net; the receipts owed; the outcomes
// still unknown; the ones the operator settled, each with its finding and when.
// The approval numbers are the first and last the service gave that day.
receipt::ClosingFigures DayClosing(const std::vector<Entry>& day);

// The day's closing as it prints now: its figures from the journal, marked when
// the day was closed before, and recorded as one more closing of the day once
// composed (standard output or the printer may still fail it; the next is marked
// all the same). Raises JournalError.
receipt::ReceiptLines CloseDay(Journal& journal, std::string_view date, std::string_view closedAt,
                               const settings::MerchantSettings& settings, std::string_view thousandsSeparator);

}  // namespace journal
