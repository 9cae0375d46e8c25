#include "JournalTexts.h"

#include <array>

#include "platform/text/Cp949.h"
#include "receipt/ClosingReceipt.h"

namespace journal {

std::string KindName(receipt::ReceiptKind kind) { return receipt::OperationName(kind); }

std::string MaskedNumber(const std::string& number) {
  if (number.size() <= 4) return number;
  return std::string(number.size() - 4, '*') + number.substr(number.size() - 4);
}

std::string GroupedAmount(std::int64_t amount, std::string_view thousandsSeparator) {
  const std::string digits = std::to_string(amount < 0 ? -amount : amount);
  std::string grouped = amount < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += thousandsSeparator;
    grouped += digits[i];
  }
  return grouped;
}

std::string WonText(std::int64_t amount, std::string_view thousandsSeparator) {
  return GroupedAmount(amount, thousandsSeparator) + platform::Utf8ToCp949("원");
}

std::string UnknownOutcomeNotice(const std::vector<Entry>& unknown, std::string_view thousandsSeparator,
                                 std::size_t listed) {
  if (unknown.empty()) return {};
  std::string text = platform::Utf8ToCp949("결과를 알 수 없는 거래가 있습니다 (" + std::to_string(unknown.size()) +
                                           "건). 다시 하기 전에 조회로 확인하십시오.") +
                     "\n";
  for (std::size_t i = 0; i < unknown.size() && i < listed; ++i) {
    const Entry& e = unknown[i];
    text += "  #" + std::to_string(e.Id) + "  " + e.At + "  " + KindName(e.Kind) + "  " + MaskedNumber(e.Number) +
            "  " + WonText(e.Total, thousandsSeparator) + "\n";
  }
  if (unknown.size() > listed)
    text += platform::Utf8ToCp949("  외 " + std::to_string(unknown.size() - listed) + "건") + "\n";
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

std::optional<std::string> JournalDate(std::string_view text) {
  if (text.size() != 8 || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  const auto number = [&](std::size_t at, std::size_t length) {
    int value = 0;
    for (const char c : text.substr(at, length)) value = value * 10 + (c - '0');
    return value;
  };
  const int year = number(0, 4), month = number(4, 2), day = number(6, 2);
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || month < 1 || month > 12 || day < 1 ||
      day > kDays[static_cast<std::size_t>(month - 1)] + (month == 2 && leap ? 1 : 0))
    return std::nullopt;
  const std::string digits(text);
  return digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2);
}

}  // namespace journal
