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

// The settings a command uses. Every request carries the terminal ID (within its 20
// bytes, no control byte) and the business registration number (exactly ten ASCII
// digits); a command that `prints` also puts the merchant's name, telephone and
// address on the receipt, where a control byte would be a printer command.
std::optional<std::string> CheckSettings(const settings::MerchantSettings& settings, bool prints);

// The entry values the mode sends, in the order of the fields on the screen.
std::optional<std::string> CheckEntries(VoucherMode mode, const EntryTexts& entries);
std::optional<std::string> CheckEntries(CashCardMode mode, const EntryTexts& entries);

}  // namespace payment
