#include "JournalTexts.h"

#include <array>
#include <utility>

#include "platform/text/Cp949.h"

namespace journal {

std::string KindName(receipt::ReceiptKind kind) {
  static const std::array<std::pair<receipt::ReceiptKind, std::string>, 4> kinds{{
      {receipt::ReceiptKind::VoucherUse, platform::Utf8ToCp949("이용권 사용")},
      {receipt::ReceiptKind::VoucherCancellation, platform::Utf8ToCp949("이용권 취소")},
      {receipt::ReceiptKind::CashCardApproval, platform::Utf8ToCp949("큐비캐쉬 승인")},
      {receipt::ReceiptKind::CashCardCancellation, platform::Utf8ToCp949("큐비캐쉬 취소")},
  }};
  for (const auto& [k, name] : kinds)
    if (k == kind) return name;
  return "?";
}

std::string MaskedNumber(const std::string& number) {
  if (number.size() <= 4) return number;
  return std::string(number.size() - 4, '*') + number.substr(number.size() - 4);
}

std::string WonText(std::int64_t amount, std::string_view thousandsSeparator) {
  const std::string digits = std::to_string(amount < 0 ? -amount : amount);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += thousandsSeparator;
    grouped += digits[i];
  }
  return (amount < 0 ? "-" : "") + grouped + platform::Utf8ToCp949("원");
}

std::string UnknownOutcomeNotice(const std::vector<Entry>& unknown, std::string_view thousandsSeparator) {
  if (unknown.empty()) return {};
  std::string text = platform::Utf8ToCp949("결과를 알 수 없는 거래가 있습니다 (" + std::to_string(unknown.size()) +
                                           "건). 다시 하기 전에 조회로 확인하십시오.") +
                     "\n";
  for (const Entry& e : unknown)
    text += "  #" + std::to_string(e.Id) + "  " + e.At + "  " + KindName(e.Kind) + "  " + MaskedNumber(e.Number) +
            "  " + WonText(e.Total, thousandsSeparator) + "\n";
  return text;
}

std::string SettledText(const Entry& entry) {
  if (!Settled(entry.Printed)) return {};
  return platform::Utf8ToCp949(entry.Printed == PrintState::SettledCharged ? "결제됨" : "결제 안 됨") +
         platform::Utf8ToCp949(" (운영자 확인 ") + entry.SettledAt + ")";
}

std::string NoReceiptForSettledCharge() {
  return platform::Utf8ToCp949("서비스의 응답을 받지 못한 거래이므로 인쇄할 영수증이 없습니다.");
}

}  // namespace journal
