#include "ClosingReceipt.h"

#include "ReceiptText.h"
#include "platform/text/Cp949.h"

namespace receipt {
namespace {

struct Texts {
  static std::string K(std::string_view utf8) { return platform::Utf8ToCp949(utf8); }
  std::string title = K("[일 마감]");
  std::string merchant = K("가맹점  명 : ");
  std::string terminal = K("단말기번호 : ");
  std::string day = K("마감  일자 : ");
  std::string closedAt = K("마감  일시 : ");
  std::string net = K("순 합계");
  std::string owed = K("미인쇄 영수증");
  std::string unknown = K("결과 미확인");
  std::string settledCharged = K("확인: 결제됨");
  std::string settledNotCharged = K("확인: 결제 안 됨");
  std::string operatorFinding = K("  (운영자 확인 ");
  std::string charged = K("결제됨");
  std::string notCharged = K("결제 안 됨");
  std::string firstApproval = K("첫 승인번호 : ");
  std::string lastApproval = K("끝 승인번호 : ");
  std::string count = K("건");
  std::string won = K("원");
  std::string separator = std::string(kReceiptColumns, '=');
  std::string rule = std::string(kReceiptColumns, '-');
};

const Texts& T() {
  static const Texts texts;
  return texts;
}

std::string Grouped(std::int64_t amount, std::string_view separator) {
  const std::uint64_t magnitude = amount < 0 ? 0 - static_cast<std::uint64_t>(amount) : static_cast<std::uint64_t>(amount);
  const std::string digits = std::to_string(magnitude);
  std::string out = amount < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.append(separator);
    out += digits[i];
  }
  return out;
}

// `left` and `right` on one line of 42 columns, the right one flush right; a
// longer pair keeps one blank between them.
std::string Spread(std::string_view left, std::string_view right) {
  const std::size_t used = left.size() + right.size();
  const std::size_t blanks = used < static_cast<std::size_t>(kReceiptColumns) ? kReceiptColumns - used : 1;
  return std::string(left) + std::string(blanks, ' ') + std::string(right);
}

// "이용권 사용        3건          15,000원": label, then the count and the amount
// in columns of their own.
std::string Figure(std::string_view label, const CountAndAmount& figure, std::string_view separator) {
  std::string count = std::to_string(figure.Count) + T().count;
  if (count.size() < 7) count.insert(0, 7 - count.size(), ' ');
  std::string label16(label);
  if (label16.size() < 16) label16.append(16 - label16.size(), ' ');
  return Spread(label16 + count, Grouped(figure.Amount, separator) + T().won);
}

std::string Date(std::string_view at) {  // "YYYY-MM-DD..." as the receipts write dates
  std::string date(at.substr(0, 10));
  for (char& c : date)
    if (c == '-') c = '/';
  return date;
}

std::string TimeOfDay(std::string_view at) { return std::string(at.size() > 11 ? at.substr(11) : at); }

}  // namespace

std::string OperationName(ReceiptKind kind) {
  static const std::array<std::string, 4> names{platform::Utf8ToCp949("이용권 사용"), platform::Utf8ToCp949("이용권 취소"),
                                                platform::Utf8ToCp949("큐비캐쉬 승인"),
                                                platform::Utf8ToCp949("큐비캐쉬 취소")};
  for (std::size_t k = 0; k < kClosingKinds.size(); ++k)
    if (kClosingKinds[k] == kind) return names[k];
  return "?";
}

ReceiptLines ComposeClosingLines(const ClosingInput& in, const settings::MerchantSettings& settings,
                                 std::string_view thousandsSeparator) {
  const Texts& t = T();
  const ClosingFigures& f = in.Figures;
  ReceiptLines lines;
  lines.emplace_back(kInitialise);
  lines.emplace_back(kDoubleHeight);
  lines.push_back(CenterText(t.title, TextStyle::ftNormal));
  // A closing printed again the same day says which one it is: the figures may
  // have changed since the first.
  if (in.PreviousClosings > 0) {
    std::string mark = std::to_string(in.PreviousClosings + 1);
    mark.insert(0, 1, '(').append(platform::Utf8ToCp949("번째 마감)"));
    lines.push_back(CenterText(mark, TextStyle::ftNormal));
  }
  lines.emplace_back(kEmphasised);
  lines.emplace_back(kLineFeed);
  lines.push_back(t.merchant + settings.MerchantName);
  lines.push_back(t.terminal + settings.TerminalId);
  lines.push_back(t.day + Date(in.Date));
  lines.push_back(t.closedAt + Date(in.ClosedAt) + " " + TimeOfDay(in.ClosedAt));
  lines.push_back(t.separator);
  for (std::size_t k = 0; k < kClosingKinds.size(); ++k)
    lines.push_back(Figure(OperationName(kClosingKinds[k]), f.Accepted[k], thousandsSeparator));
  lines.push_back(t.rule);
  lines.push_back(Spread(t.net, Grouped(f.Net, thousandsSeparator) + t.won));
  lines.push_back(t.separator);
  lines.push_back(Figure(t.owed, f.Owed, thousandsSeparator));
  lines.push_back(Figure(t.unknown, f.Unknown, thousandsSeparator));
  lines.push_back(Figure(t.settledCharged, f.SettledCharged, thousandsSeparator));
  lines.push_back(Figure(t.settledNotCharged, f.SettledNotCharged, thousandsSeparator));
  // Each settled operation: the operator's finding and when they made it, not the
  // service's answer.
  for (const SettledOperation& s : f.Settled) {
    lines.push_back(Spread("  " + TimeOfDay(s.At) + " " + OperationName(s.Kind), Grouped(s.Total, thousandsSeparator) + t.won));
    lines.push_back(t.operatorFinding + TimeOfDay(s.SettledAt) + ": " + (s.Charged ? t.charged : t.notCharged) + ")");
  }
  lines.push_back(t.separator);
  lines.push_back(t.firstApproval + f.FirstApproval);
  lines.push_back(t.lastApproval + f.LastApproval);
  lines.push_back(t.separator);
  lines.emplace_back(kLineFeed);
  lines.emplace_back(kLineFeed);
  lines.emplace_back(kCut);
  return lines;
}

}  // namespace receipt
