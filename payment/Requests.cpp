#include "Requests.h"

#include "MessageFields.h"

namespace payment {
namespace {

std::string Head(std::string_view code, const TerminalIdentity& terminal, std::string_view number) {
  std::string out;
  out.reserve(160);
  out += kStx;
  out += "PAIR";
  out += kFs;
  out += code;
  out += kFs;
  AppendTextField(out, terminal.TerminalId, 20);
  AppendTextField(out, number, 13);
  return out;
}

void AppendOriginal(std::string& out, const OriginalTransaction& original) {
  AppendTextField(out, original.ApprovalNumber, 20);
  AppendTextField(out, original.Date, 8);
}

// Total, business number, "TG01", net, tax, a zero field, ETX: the tail of every
// request that carries amounts.
std::string WithAmounts(std::string out, const TerminalIdentity& terminal, const Amounts& amounts) {
  AppendNumberField(out, amounts.Total);
  out += terminal.BusinessNumber;
  out += "TG01";
  AppendNumberField(out, amounts.Net);
  AppendNumberField(out, amounts.Tax);
  AppendNumberField(out, 0);
  out += kEtx;
  return out;
}

}  // namespace

std::string BuildVoucherInquiryRequest(const TerminalIdentity& terminal, std::string_view voucherNumber) {
  std::string out = Head("9100", terminal, voucherNumber);
  out += terminal.BusinessNumber;
  out += kEtx;
  return out;
}

std::string BuildVoucherUseRequest(const TerminalIdentity& terminal, std::string_view voucherNumber,
                                   const Amounts& amounts) {
  return WithAmounts(Head("9000", terminal, voucherNumber), terminal, amounts);
}

std::string BuildVoucherCancelRequest(const TerminalIdentity& terminal, std::string_view voucherNumber,
                                      const OriginalTransaction& original, const Amounts& amounts) {
  std::string out = Head("9002", terminal, voucherNumber);
  AppendOriginal(out, original);
  return WithAmounts(std::move(out), terminal, amounts);
}

std::string BuildCashCardApprovalRequest(const TerminalIdentity& terminal, std::string_view barcodeNumber,
                                         const Amounts& amounts) {
  return WithAmounts(Head("9300", terminal, barcodeNumber), terminal, amounts);
}

std::string BuildCashCardCancelRequest(const TerminalIdentity& terminal, std::string_view barcodeNumber,
                                       const OriginalTransaction& original, const Amounts& amounts) {
  std::string out = Head("9302", terminal, barcodeNumber);
  AppendOriginal(out, original);
  return WithAmounts(std::move(out), terminal, amounts);
}

}  // namespace payment
