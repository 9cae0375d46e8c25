#pragma once

#include <optional>
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

// What a use, cancellation, approval or card cancellation request asks for, read
// back from its fields (the checks keep every value to its field before a request
// is built): the operation's code, the number (its padding taken off), the total
// and, for a cancellation, the original approval number.
struct PaymentRequestFields {
  std::string Code;
  std::string Number;
  std::int32_t Total = 0;
  std::string OriginalApproval;
};

// Nothing for an inquiry or for bytes that are no payment request.
std::optional<PaymentRequestFields> ReadPaymentRequest(std::string_view request);

}  // namespace payment
