#pragma once

#include <string>
#include <string_view>

#include "payment/Amounts.h"

// The five payment requests: STX "PAIR" FS code FS, terminal ID (20), the typed
// number (13), the operation's own fields, ETX. Widths count CP949 bytes.
namespace payment {

// The settings every request carries.
struct TerminalIdentity {
  std::string_view TerminalId;
  std::string_view BusinessNumber;  // sent raw: its length moves what follows
};

// The transaction a cancellation refers to, as the operator typed it.
struct OriginalTransaction {
  std::string_view ApprovalNumber;
  std::string_view Date;  // eight digits, YYYYMMDD
};

std::string BuildVoucherInquiryRequest(const TerminalIdentity& terminal, std::string_view voucherNumber);
std::string BuildVoucherUseRequest(const TerminalIdentity& terminal, std::string_view voucherNumber,
                                   const Amounts& amounts);
std::string BuildVoucherCancelRequest(const TerminalIdentity& terminal, std::string_view voucherNumber,
                                      const OriginalTransaction& original, const Amounts& amounts);
std::string BuildCashCardApprovalRequest(const TerminalIdentity& terminal, std::string_view barcodeNumber,
                                         const Amounts& amounts);
std::string BuildCashCardCancelRequest(const TerminalIdentity& terminal, std::string_view barcodeNumber,
                                       const OriginalTransaction& original, const Amounts& amounts);

}  // namespace payment
