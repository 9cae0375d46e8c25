#pragma once

#include <optional>
#include <string>

#include "payment/Operations.h"
#include "settings/MerchantSettings.h"

// What a command checks before it builds a request: every value it sends keeps to
// its field, so nothing after it moves and no control byte reaches the server or
// the printer. Each check gives the operator's message (CP949), or nothing.
namespace payment {

// The largest amount the nine-digit number field holds.
inline constexpr std::int32_t kLargestAmount = 999'999'999;

// The settings every request and receipt carries: the terminal ID within its 20
// bytes, and no control byte (a printer command on the receipt) in it, the business
// registration number, the merchant's name, telephone or address.
std::optional<std::string> CheckSettings(const settings::MerchantSettings& settings);

// The entry values the mode sends, in the order of the fields on the screen.
std::optional<std::string> CheckEntries(VoucherMode mode, const EntryTexts& entries);
std::optional<std::string> CheckEntries(CashCardMode mode, const EntryTexts& entries);

}  // namespace payment
