#include "VekJournal.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/text/Cp949.h"

namespace cli {
namespace {

std::string Utf8(const std::string& cp949) { return platform::Cp949ToUtf8(cp949); }

constexpr std::array<std::pair<receipt::ReceiptKind, const char*>, 4> kKinds{{
    {receipt::ReceiptKind::VoucherUse, "이용권 사용"},
    {receipt::ReceiptKind::VoucherCancellation, "이용권 취소"},
    {receipt::ReceiptKind::CashCardApproval, "큐비캐쉬 승인"},
    {receipt::ReceiptKind::CashCardCancellation, "큐비캐쉬 취소"},
}};

std::string KindName(receipt::ReceiptKind kind) {
  for (const auto& [k, name] : kKinds)
    if (k == kind) return name;
  return "?";
}

std::string Masked(const std::string& number) {
  if (number.size() <= 4) return number;
  return std::string(number.size() - 4, '*') + number.substr(number.size() - 4);
}

// With the receipts' thousands separator; a day's total may pass 32 bits.
std::string Won(std::int64_t amount, const std::string& separator) {
  const std::string digits = std::to_string(amount < 0 ? -amount : amount);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += separator;
    grouped += digits[i];
  }
  return (amount < 0 ? "-" : "") + Utf8(grouped) + "원";
}

// The journal, or the exit that says why there is none.
std::optional<VekResult> NoJournal(const VekTerminal& terminal) {
  if (terminal.Desk.journal()) return std::nullopt;
  if (terminal.Desk.OpenError()) return VekResult{kNotJournaled, {}, Utf8(*terminal.Desk.OpenError()) + "\n"};
  return VekResult{kInputRefused, {}, "이 프로그램에는 저널이 없습니다.\n"};
}

}  // namespace

std::string JournalListing(const std::vector<journal::Entry>& day, const std::string& thousandsSeparator) {
  std::string out;
  std::array<std::int64_t, kKinds.size()> count{}, total{};
  for (const journal::Entry& e : day) {
    out += e.At.substr(11) + "  " + KindName(e.Kind) + "  " + Utf8(Masked(e.Number)) + "  " +
           Won(e.Total, thousandsSeparator) + "  " + Utf8(e.ApprovalNumber) + "  " +
           (e.Printed == journal::PrintState::Printed ? "인쇄됨" : "인쇄 안 됨") + "\n";
    for (std::size_t k = 0; k < kKinds.size(); ++k)
      if (kKinds[k].first == e.Kind) ++count[k], total[k] += e.Total;
  }
  for (std::size_t k = 0; k < kKinds.size(); ++k)
    out += std::string("합계 ") + kKinds[k].second + "  " + std::to_string(count[k]) + "건  " +
           Won(total[k], thousandsSeparator) + "\n";
  return out;
}

VekResult RunReprint(const std::optional<std::string>& approval, const VekTerminal& terminal) {
  if (auto none = NoJournal(terminal)) return *none;
  std::optional<journal::Entry> entry;
  try {
    entry = approval ? terminal.Desk.journal()->ByApproval(platform::Utf8ToCp949(*approval))
                     : terminal.Desk.journal()->Last();
  } catch (const journal::JournalError& error) {
    return {kNotJournaled, {}, Utf8(error.what()) + "\n"};
  }
  if (!entry)
    return {kInputRefused, {},
            approval ? "승인번호 " + *approval + "의 거래가 저널에 없습니다.\n" : "저널에 거래가 없습니다.\n"};
  if (terminal.Printer.NotReady)
    if (const auto error = terminal.Printer.NotReady()) return {kReceiptNotPrinted, {}, Utf8(*error) + "\n"};
  if (const auto error = terminal.Desk.Reprint(*entry, terminal.Printer.Print))
    return {kReceiptNotPrinted, {}, Utf8(*error) + "\n"};
  return {kAccepted, "재출력: " + Utf8(entry->ApprovalNumber) + "\n", {}};
}

VekResult RunJournal(const std::optional<std::string>& date, const VekTerminal& terminal) {
  if (auto none = NoJournal(terminal)) return *none;
  std::string day = journal::LocalTimeNow().substr(0, 10);
  if (date) {
    const bool digits = date->size() == 8 && date->find_first_not_of("0123456789") == std::string::npos;
    if (!digits) return {kInputRefused, {}, "날짜는 YYYYMMDD로 입력하십시요.\n"};
    day = date->substr(0, 4) + "-" + date->substr(4, 2) + "-" + date->substr(6, 2);
  }
  try {
    return {kAccepted, JournalListing(terminal.Desk.journal()->Day(day), terminal.ThousandsSeparator), {}};
  } catch (const journal::JournalError& error) {
    return {kNotJournaled, {}, Utf8(error.what()) + "\n"};
  }
}

}  // namespace cli
