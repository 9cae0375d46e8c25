#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "payment/Amounts.h"
#include "payment/PaymentExchange.h"
#include "platform/text/IntegerText.h"
#include "receipt/PrinterStatus.h"
#include "receipt/ReceiptBuilder.h"
#include "receipt/ReceiptLines.h"
#include "settings/MerchantSettings.h"

// The voucher and cash-card operations as the screens start them: the entry texts,
// the settings and the payment module in, one outcome out that says everything the
// screen must then do. Nothing here touches a screen or a printer.
namespace payment {

enum class VoucherMode { Inquiry = 0, Use = 1, Cancellation = 2 };
enum class CashCardMode { Approval = 1, Cancellation = 2 };

// A screen's entry fields as the operator left them, in CP949.
struct EntryTexts {
  std::string Number{};            // the voucher or barcode number
  std::string Amount{};            // tax included
  std::string OriginalDate{};      // cancellations: YYYYMMDD
  std::string OriginalApproval{};  // cancellations
};

enum class EntryField { Number, Amount, OriginalDate, OriginalApproval };

// An accepted use, cancellation or approval as the journal keeps it.
struct AcceptedOperation {
  receipt::ReceiptKind Kind = receipt::ReceiptKind::VoucherUse;
  std::string Number{};  // as typed
  payment::Amounts Amounts{};
  std::string ApprovalNumber{};
  std::string Request{};  // as sent to the module
  std::string Reply{};    // as the module gave it
};

// What the screen does, in this order. A message box (with the label's text beside
// it when there is one), or the error box with what keeps the printer from
// printing, says all there is to say; otherwise the message
// label takes its text, a conversion error is raised (the
// steps after it do not happen), the amount field takes its text, the receipt is
// printed (a receipt that can't be printed ends it there as well), the fields are
// emptied in their order, and the focus goes back to the number field.
struct OperationOutcome {
  // How it ended: refused before the exchange by the checks or the printer, or as
  // the exchange ended.
  ExchangeOutcome Exchange = ExchangeOutcome::Accepted;
  std::optional<std::string> MessageBox{};
  std::optional<std::string> PrintError{};
  std::optional<std::string> LabelText{};
  // The printer asked before the exchange can print but wants attention soon (a roll
  // near its end): said beside whatever the exchange's outcome shows.
  std::optional<std::string> PrinterWarning{};
  std::optional<platform::ConversionError> ConversionError{};
  std::optional<std::string> AmountText{};
  std::optional<receipt::ReceiptLines> Receipt{};
  std::optional<AcceptedOperation> Accepted{};  // with the receipt
  std::vector<EntryField> Cleared{};
  bool FocusNumberField = false;
};

// What every operation reads besides the entry fields.
struct OperationContext {
  const settings::MerchantSettings& Settings;
  PaymentModule& Module;
  std::string_view ThousandsSeparator;  // for the receipt's amounts
  // Asked before an operation that prints, so that no payment is made that can't be
  // printed: the error the receipt would end with (or the printer's state that keeps
  // it from printing), or nothing, with a warning maybe. Empty: not asked.
  std::function<receipt::PrinterReadiness()> PrinterNotReady{};
};

OperationOutcome VoucherOperation(VoucherMode mode, const EntryTexts& entries, const OperationContext& context);
OperationOutcome CashCardOperation(CashCardMode mode, const EntryTexts& entries, const OperationContext& context);

}  // namespace payment
