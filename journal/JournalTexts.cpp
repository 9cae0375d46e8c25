#include "JournalTexts.h"

#include "platform/text/Cp949.h"
#include "receipt/ClosingReceipt.h"

namespace journal {

std::string KindName(receipt::ReceiptKind kind) { return receipt::OperationName(kind); }

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
    text += "  " + e.At + "  " + KindName(e.Kind) + "  " + MaskedNumber(e.Number) + "  " +
            WonText(e.Total, thousandsSeparator) + "\n";
  return text;
}

}  // namespace journal
