#include "Operations.h"

#include "payment/Amounts.h"
#include "payment/EntryChecks.h"
#include "payment/ReplyFields.h"
#include "payment/Requests.h"
#include "receipt/ReceiptBuilder.h"

namespace payment {
namespace {

using enum EntryField;

TerminalIdentity Terminal(const settings::MerchantSettings& settings) {
  return {settings.TerminalId, settings.BusinessNumber};
}

// What the screen shows for the exchange itself; an accepted reply adds to it.
OperationOutcome ExchangeOutcomeOnScreen(const ExchangeResult& exchange) {
  const ExchangeOutcome ended = exchange.Outcome;
  switch (ended) {
    // The checks said what was wrong before the exchange; here only the whole
    // request can be too long.
    case ExchangeOutcome::InputRefused: return {.Exchange = ended, .MessageBox = RequestTooLongMessage()};
    case ExchangeOutcome::PrinterNotReady: break;  // asked before the exchange, never its end
    case ExchangeOutcome::ModuleUnavailable: {
      OperationOutcome outcome{.Exchange = ended, .MessageBox = ModuleUnavailableMessage()};
      if (!exchange.LabelText.empty()) outcome.LabelText = exchange.LabelText;
      return outcome;
    }
    case ExchangeOutcome::CallFailed:
      return {.Exchange = ended, .LabelText = exchange.LabelText, .FocusNumberField = true};
    case ExchangeOutcome::Refused:
    case ExchangeOutcome::Accepted: break;
  }
  return {.Exchange = ended, .LabelText = exchange.LabelText};
}

// An accepted use, cancellation or approval: its receipt (the amounts are the ones
// typed, not the reply's; the voucher texts are empty in a cash card's reply), then
// the fields it read are emptied and the cursor goes back to the number.
OperationOutcome Approved(OperationOutcome outcome, receipt::ReceiptKind kind, const ApprovalReply& reply,
                          const EntryTexts& entries, const Amounts& amounts, const OperationContext& context,
                          const std::string& request, const ExchangeResult& exchange) {
  const bool cancellation =
      kind == receipt::ReceiptKind::VoucherCancellation || kind == receipt::ReceiptKind::CashCardCancellation;
  const receipt::ReceiptInput receipt{.Kind = kind,
                                      .TransactionDateTime = reply.TransactionDateTime,
                                      .InstrumentNumber = entries.Number,
                                      .VoucherTypeName = VoucherTypeName(reply.VoucherTypeCode),
                                      .VoucherName = reply.VoucherName,
                                      .NetAmount = amounts.Net,
                                      .TaxAmount = amounts.Tax,
                                      .TotalAmount = amounts.Total,
                                      .ApprovalNumber = reply.ApprovalNumber,
                                      .Messages = reply.Messages,
                                      .OriginalDate = cancellation ? entries.OriginalDate : std::string()};
  outcome.Receipt = receipt::ComposeReceiptLines(receipt, context.Settings, context.ThousandsSeparator);
  outcome.Accepted = AcceptedOperation{kind, entries.Number, amounts, reply.ApprovalNumber, request, exchange.Reply};
  outcome.Cleared =
      cancellation ? std::vector{Amount, Number, OriginalApproval, OriginalDate} : std::vector{Amount, Number};
  outcome.FocusNumberField = true;
  return outcome;
}

// The checks before any request: the settings, the entry values, then, for an
// operation that prints, the printer (which may only warn: `printerWarning`).
std::optional<OperationOutcome> Refusal(const std::optional<std::string>& settingsMessage,
                                        const std::optional<std::string>& entriesMessage, bool prints,
                                        const OperationContext& context, std::optional<std::string>& printerWarning) {
  const std::optional<std::string>& message = settingsMessage ? settingsMessage : entriesMessage;
  if (message) return OperationOutcome{.Exchange = ExchangeOutcome::InputRefused, .MessageBox = *message};
  if (!prints || !context.PrinterNotReady) return std::nullopt;
  receipt::PrinterReadiness printer = context.PrinterNotReady();
  if (printer.NotReady)
    return OperationOutcome{.Exchange = ExchangeOutcome::PrinterNotReady, .PrintError = std::move(printer.NotReady)};
  printerWarning = std::move(printer.Warning);
  return std::nullopt;
}

}  // namespace

OperationOutcome VoucherOperation(VoucherMode mode, const EntryTexts& entries, const OperationContext& context) {
  const bool prints = mode != VoucherMode::Inquiry;
  std::optional<std::string> printerWarning;
  if (auto refusal = Refusal(CheckSettings(context.Settings, prints), CheckEntries(mode, entries), prints, context,
                             printerWarning))
    return *refusal;
  const Amounts amounts = AmountsFromText(entries.Amount);
  const TerminalIdentity terminal = Terminal(context.Settings);
  const OriginalTransaction original{entries.OriginalApproval, entries.OriginalDate};
  std::string request;
  switch (mode) {
    case VoucherMode::Inquiry: request = BuildVoucherInquiryRequest(terminal, entries.Number); break;
    case VoucherMode::Use: request = BuildVoucherUseRequest(terminal, entries.Number, amounts); break;
    case VoucherMode::Cancellation:
      request = BuildVoucherCancelRequest(terminal, entries.Number, original, amounts);
      break;
  }
  const ExchangeResult exchange = PaymentExchange(context.Module, request);
  OperationOutcome outcome = ExchangeOutcomeOnScreen(exchange);
  outcome.PrinterWarning = std::move(printerWarning);
  if (exchange.Outcome != ExchangeOutcome::Accepted) return outcome;

  if (mode == VoucherMode::Inquiry) {
    const InquiryReply reply = ReadVoucherInquiryReply(exchange.Payload);
    outcome.LabelText = reply.InquiryText;
    const std::optional<std::int32_t> amount = platform::ParseIntegerText(reply.AmountText);
    if (!amount) {
      outcome.ConversionError.emplace(reply.AmountText);
      return outcome;
    }
    outcome.AmountText = std::to_string(*amount);
    outcome.FocusNumberField = true;
    return outcome;
  }

  const bool use = mode == VoucherMode::Use;
  const ApprovalReply reply = use ? ReadVoucherUseReply(exchange.Payload) : ReadVoucherCancelReply(exchange.Payload);
  return Approved(std::move(outcome),
                  use ? receipt::ReceiptKind::VoucherUse : receipt::ReceiptKind::VoucherCancellation, reply, entries,
                  amounts, context, request, exchange);
}

OperationOutcome CashCardOperation(CashCardMode mode, const EntryTexts& entries, const OperationContext& context) {
  std::optional<std::string> printerWarning;
  if (auto refusal =
          Refusal(CheckSettings(context.Settings, true), CheckEntries(mode, entries), true, context, printerWarning))
    return *refusal;
  const bool approval = mode == CashCardMode::Approval;
  const Amounts amounts = AmountsFromText(entries.Amount);
  const TerminalIdentity terminal = Terminal(context.Settings);
  const std::string request =
      approval ? BuildCashCardApprovalRequest(terminal, entries.Number, amounts)
               : BuildCashCardCancelRequest(terminal, entries.Number, {entries.OriginalApproval, entries.OriginalDate},
                                            amounts);
  const ExchangeResult exchange = PaymentExchange(context.Module, request);
  OperationOutcome outcome = ExchangeOutcomeOnScreen(exchange);
  outcome.PrinterWarning = std::move(printerWarning);
  if (exchange.Outcome != ExchangeOutcome::Accepted) return outcome;

  const ApprovalReply reply =
      approval ? ReadCashCardApprovalReply(exchange.Payload) : ReadCashCardCancelReply(exchange.Payload);
  return Approved(std::move(outcome),
                  approval ? receipt::ReceiptKind::CashCardApproval : receipt::ReceiptKind::CashCardCancellation, reply,
                  entries, amounts, context, request, exchange);
}

}  // namespace payment
