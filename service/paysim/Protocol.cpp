#include "Protocol.h"

#include <charconv>
#include <cstdio>

#include "payment/Amounts.h"
#include "platform/text/Cp949.h"

namespace paysim {
namespace {

constexpr char kStx = 0x02, kFs = 0x1C, kEtx = 0x03;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
  return s;
}

// A number field of nine digits, or "-" and nine digits. A ten-digit amount can't be
// told from nine digits and a business number that starts with a digit: the amounts
// are checked against each other below instead.
std::optional<std::int64_t> TakeNumber(std::string_view& body) {
  const std::size_t width = !body.empty() && body[0] == '-' ? 10 : 9;
  if (body.size() < width) return std::nullopt;
  const std::string_view text = body.substr(0, width);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  body.remove_prefix(width);
  return value;
}

// At most `width` bytes of CP949 text, never half a Korean character.
std::string_view Cut(std::string_view text, std::size_t width) {
  std::size_t end = 0;
  while (end < text.size()) {
    const bool lead = static_cast<unsigned char>(text[end]) >= 0x81 && end + 1 < text.size();
    const std::size_t next = end + (lead ? 2 : 1);
    if (next > width) break;
    end = next;
  }
  return text.substr(0, end);
}

void Put(std::string& payload, std::size_t position, std::string_view text, std::size_t width) {
  const std::string_view cut = Cut(text, width);
  payload.replace(position - 1, cut.size(), cut);
}

}  // namespace

std::optional<Request> ParseRequest(std::string_view frame) {
  if (frame.size() < 12 || frame[0] != kStx || frame.substr(1, 4) != "PAIR" || frame[5] != kFs || frame[10] != kFs ||
      frame.back() != kEtx)
    return std::nullopt;
  const std::string_view code = frame.substr(6, 4);
  std::string_view body = frame.substr(11, frame.size() - 12);
  if (body.find(kEtx) != std::string_view::npos || body.size() < 33) return std::nullopt;

  Request r;
  if (code == "9100") r.Op = Operation::VoucherInquiry;
  else if (code == "9000") r.Op = Operation::VoucherUse;
  else if (code == "9002") r.Op = Operation::VoucherCancel;
  else if (code == "9300") r.Op = Operation::CashCardApproval;
  else if (code == "9302") r.Op = Operation::CashCardCancel;
  else return std::nullopt;

  r.TerminalId = Trim(body.substr(0, 20));
  r.Number = Trim(body.substr(20, 13));
  body.remove_prefix(33);
  if (r.Op == Operation::VoucherInquiry) {
    r.BusinessNumber = body;
    return r;
  }
  if (r.Op == Operation::VoucherCancel || r.Op == Operation::CashCardCancel) {
    if (body.size() < 28) return std::nullopt;
    r.OriginalApproval = Trim(body.substr(0, 20));
    r.OriginalDate = Trim(body.substr(20, 8));
    body.remove_prefix(28);
  }
  const auto total = TakeNumber(body);
  const std::size_t tg = body.rfind("TG01");
  if (!total || tg == std::string_view::npos) return std::nullopt;
  r.Total = *total;
  r.BusinessNumber = body.substr(0, tg);
  body.remove_prefix(tg + 4);
  const auto net = TakeNumber(body);
  const auto tax = TakeNumber(body);
  const auto zero = TakeNumber(body);
  if (!net || !tax || !zero || !body.empty()) return std::nullopt;
  // The net and the tax are the total split as the terminal splits it; a total read
  // wrongly (nine of ten digits) doesn't add up and is refused, never booked.
  const payment::Amounts split = payment::SplitAmount(static_cast<std::int32_t>(*total));
  if (*zero != 0 || *net != split.Net || *tax != split.Tax) return std::nullopt;
  r.Net = *net;
  r.Tax = *tax;
  return r;
}

std::string BuildReply(Operation op, const Answer& a) {
  const bool accepted = a.Code == "0000";
  std::size_t size = 104;
  if (accepted) size = op == Operation::VoucherInquiry ? 281 : 391;
  std::string payload(size, ' ');
  Put(payload, 1, a.Code, 4);
  Put(payload, 5, a.Message, 100);
  if (accepted) {
    const bool cancel = op == Operation::VoucherCancel || op == Operation::CashCardCancel;
    const bool voucher = op == Operation::VoucherUse || op == Operation::VoucherCancel;
    switch (op) {
      case Operation::VoucherInquiry: {
        Put(payload, 169, a.InquiryText, 100);
        char digits[16];
        std::snprintf(digits, sizeof digits, "%09lld", static_cast<long long>(a.VoucherAmount));
        Put(payload, 273, digits, 9);
        break;
      }
      default:
        Put(payload, 125, a.ApprovalNumber, 20);
        Put(payload, cancel ? 159 : 145, a.DateTime, 14);
        if (voucher) {
          Put(payload, cancel ? 173 : 159, a.TypeCode, 4);
          // A cancellation's name field (177..276) runs into the first message
          // line (272..301): the name keeps to 95 bytes and the line starts after
          // the name's field, so the terminal reads each of them clean.
          Put(payload, cancel ? 177 : 163, a.VoucherName, cancel ? 95 : 100);
        }
        const std::size_t skip = voucher && cancel ? 5 : 0;
        Put(payload, 272 + skip, a.Lines.Line1, 30 - skip);
        Put(payload, 302, a.Lines.Line2, 30);
        Put(payload, 332, a.Lines.Line3, 30);
        Put(payload, 362, a.Lines.Line4, 30);
    }
  }
  return std::string(1, kStx) + payload + std::string(1, kEtx);
}

std::string MalformedReply() {
  Answer a;
  a.Code = "9001";
  a.Message = platform::Utf8ToCp949("전문 형식 오류입니다.");
  return BuildReply(Operation::VoucherInquiry, a);
}

}  // namespace paysim
