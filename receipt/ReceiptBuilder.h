#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "receipt/ReceiptLines.h"
#include "payment/MessageLines.h"
#include "settings/MerchantSettings.h"

namespace receipt {

// Which receipt. Other values still compose a receipt (no title, barcode line).
enum class ReceiptKind : int {
  VoucherUse = 1,
  VoucherCancellation = 2,
  CashCardApproval = 11,
  CashCardCancellation = 12,
};

// What a transaction hands over for its receipt, filled by name. The amounts are
// printed as given.
struct ReceiptInput {
  ReceiptKind Kind = ReceiptKind::VoucherUse;
  std::string TransactionDateTime{};  // YYYYMMDDhhmmss
  std::string InstrumentNumber{};     // voucher number or card barcode, as typed
  std::string VoucherTypeName{};      // voucher kinds only
  std::string VoucherName{};          // voucher kinds only
  std::int32_t NetAmount = 0;
  std::int32_t TaxAmount = 0;
  std::int32_t TotalAmount = 0;
  std::string ApprovalNumber{};
  payment::MessageLines Messages{};
  std::string OriginalDate{};  // YYYYMMDD; cancellations only
};

// The receipt's lines: 31 for a voucher use, 32 for a voucher cancellation, 29 for a
// cash-card approval, 30 for a cash-card cancellation.
ReceiptLines ComposeReceiptLines(const ReceiptInput& input, const settings::MerchantSettings& settings,
                                 std::string_view thousandsSeparator);

// A receipt printed again: one line "재출력", centred, under the title (the third
// line), and every other line as it was. A sale or approval cancelled since is
// marked "재출력(취소)": its own receipt says nothing of the cancellation.
ReceiptLines MarkedAsReprint(const ReceiptLines& lines, bool cancelledSince = false);

}  // namespace receipt
