#include "Requests.h"

#include <algorithm>
#include <cstdint>

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

namespace {

std::string Unpadded(std::string_view field) {
  const std::size_t end = field.find_last_not_of(' ');
  return std::string(field.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

}  // namespace

std::optional<PaymentRequestFields> ReadPaymentRequest(std::string_view request) {
  // STX "PAIR" FS code FS: the code at 6, the terminal ID at 11, the number at 31.
  constexpr std::size_t kCode = 6, kNumber = 31, kAfterNumber = kNumber + 13, kOriginalWidth = 28;
  if (request.size() < kAfterNumber || request.substr(0, 6) != std::string_view("\x02PAIR\x1C", 6)) return std::nullopt;
  const std::string_view code = request.substr(kCode, 4);
  const bool cancellation = code == "9002" || code == "9302";
  if (!cancellation && code != "9000" && code != "9300") return std::nullopt;
  const std::size_t total = kAfterNumber + (cancellation ? kOriginalWidth : 0);
  if (request.size() < total + 9) return std::nullopt;
  const std::string_view digits = request.substr(total, 9);
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
  PaymentRequestFields fields{std::string(code), Unpadded(request.substr(kNumber, 13)), 0, {}};
  for (const char c : digits) fields.Total = fields.Total * 10 + (c - '0');
  if (cancellation) fields.OriginalApproval = Unpadded(request.substr(kAfterNumber, 20));
  return fields;
}

}  // namespace payment
