#include "VekJournal.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "journal/JournalTexts.h"
#include "platform/text/Cp949.h"
#include "platform/text/IntegerText.h"

namespace cli {
namespace {

std::string Utf8(const std::string& cp949) { return platform::Cp949ToUtf8(cp949); }

constexpr std::array<receipt::ReceiptKind, 4> kKinds{
    receipt::ReceiptKind::VoucherUse, receipt::ReceiptKind::VoucherCancellation,
    receipt::ReceiptKind::CashCardApproval, receipt::ReceiptKind::CashCardCancellation};

std::string Won(std::int64_t amount, const std::string& separator) {
  return Utf8(journal::WonText(amount, separator));
}

std::string PrintedText(const journal::Entry& e) {
  if (journal::OutcomeUnknown(e.Printed)) return "결과 알 수 없음 (vek settle " + std::to_string(e.Id) + ")";
  if (journal::Settled(e.Printed)) return Utf8(journal::SettledText(e));
  return e.Printed == journal::PrintState::Printed ? "인쇄됨" : "인쇄 안 됨";
}

// The journal, or the exit that says why there is none: a listing, a reprint or a
// settling never makes one.
std::optional<VekResult> NoJournal(const VekTerminal& terminal) {
  if (terminal.Desk.journal(journal::OpenMode::ExistingOnly)) return std::nullopt;
  if (terminal.Desk.OpenError()) return VekResult{kNotJournaled, {}, Utf8(*terminal.Desk.OpenError()) + "\n"};
  return VekResult{kInputRefused, {}, "이 프로그램에는 저널이 없습니다.\n"};
}

// The printer's own state before a reprint, as before a payment.
receipt::PrinterReadiness Readiness(const VekTerminal& terminal) {
  return terminal.Printer.NotReady ? terminal.Printer.NotReady() : receipt::PrinterReadiness{};
}

std::string OwedText(std::size_t owed) {
  return "인쇄되지 않은 영수증 " + std::to_string(owed) + "건" + (owed > 0 ? " (vek reprint)" : "") + "\n";
}

}  // namespace

std::string JournalListing(const std::vector<journal::Entry>& day, const std::string& thousandsSeparator) {
  std::string out;
  std::array<std::int64_t, kKinds.size()> count{}, total{};
  for (const journal::Entry& e : day) {
    // The time of day; a damaged row's time as it is.
    out += "#" + std::to_string(e.Id) + "  " + (e.At.size() > 11 ? e.At.substr(11) : e.At) + "  " +
           Utf8(journal::KindName(e.Kind)) + "  " + Utf8(journal::MaskedNumber(e.Number)) + "  " +
           Won(e.Total, thousandsSeparator) + "  " + Utf8(e.ApprovalNumber) + "  " + PrintedText(e) + "\n";
    // Not known to be charged, or known only by the operator's word.
    if (!journal::Accepted(e.Printed)) continue;
    for (std::size_t k = 0; k < kKinds.size(); ++k)
      if (kKinds[k] == e.Kind) ++count[k], total[k] += e.Total;
  }
  for (std::size_t k = 0; k < kKinds.size(); ++k)
    out += "합계 " + Utf8(journal::KindName(kKinds[k])) + "  " + std::to_string(count[k]) + "건  " +
           Won(total[k], thousandsSeparator) + "\n";
  return out;
}

VekResult RunReprint(const std::optional<std::string>& approval, const VekTerminal& terminal) {
  if (auto none = NoJournal(terminal)) return *none;
  journal::Journal& book = *terminal.Desk.journal();
  std::optional<journal::Entry> entry;
  std::vector<journal::Entry> owed;
  try {
    owed = book.InStates({journal::PrintState::Pending, journal::PrintState::Failed});
    if (approval)
      entry = book.ByApproval(platform::Utf8ToCp949(*approval));
    else
      entry = owed.empty() ? book.Last() : std::optional(owed.front());
  } catch (const journal::JournalError& error) {
    return {kNotJournaled, {}, Utf8(error.what()) + "\n"};
  }
  if (!entry)
    return {kInputRefused, {},
            approval ? "승인번호 " + *approval + "의 거래가 저널에 없습니다.\n" : "저널에 거래가 없습니다.\n"};
  const receipt::PrinterReadiness printer = Readiness(terminal);
  if (printer.NotReady) return {kReceiptNotPrinted, {}, Utf8(*printer.NotReady) + "\n" + OwedText(owed.size())};
  const std::string warning = printer.Warning ? Utf8(*printer.Warning) + "\n" : "";
  if (const auto error = terminal.Desk.Reprint(*entry, terminal.Printer.Print))
    return {kReceiptNotPrinted, {}, warning + Utf8(*error) + "\n" + OwedText(owed.size())};
  const bool wasOwed = journal::Owed(entry->Printed);
  return {kAccepted, "재출력: " + Utf8(entry->ApprovalNumber) + "\n" + OwedText(owed.size() - (wasOwed ? 1 : 0)),
          warning};
}

VekResult RunReprintAll(const VekTerminal& terminal) {
  if (auto none = NoJournal(terminal)) return *none;
  const receipt::PrinterReadiness printer = Readiness(terminal);
  if (printer.NotReady) {
    std::size_t owed = 0;
    try {
      owed = terminal.Desk.journal()->InStates({journal::PrintState::Pending, journal::PrintState::Failed}).size();
    } catch (const journal::JournalError& journalError) {
      return {kNotJournaled, {}, Utf8(*printer.NotReady) + "\n" + Utf8(journalError.what()) + "\n"};
    }
    return {kReceiptNotPrinted, {}, Utf8(*printer.NotReady) + "\n" + OwedText(owed)};
  }
  const journal::ReceiptDesk::OwedReprints batch = terminal.Desk.ReprintOwed(terminal.Printer.Print);
  if (batch.JournalError) return {kNotJournaled, {}, Utf8(*batch.JournalError) + "\n"};
  VekResult result{kAccepted, "재출력 " + std::to_string(batch.Printed) + "건\n",
                   printer.Warning ? Utf8(*printer.Warning) + "\n" : ""};
  if (batch.PrintError) {
    result.Status = kReceiptNotPrinted;
    result.Err += Utf8(*batch.PrintError) + "\n" + OwedText(static_cast<std::size_t>(batch.Remaining));
  }
  return result;
}

VekResult RunSettle(const std::string& row, const std::string& finding, const VekTerminal& terminal) {
  const std::optional<std::int32_t> id = platform::ParseIntegerText(row);
  if (!id || *id <= 0 || row.find_first_not_of("0123456789") != std::string::npos ||
      (finding != "charged" && finding != "not-charged"))
    return {kInputRefused, {}, VekHelp()};
  if (auto none = NoJournal(terminal)) return *none;
  journal::Journal& book = *terminal.Desk.journal();
  const std::string number = "#" + row;
  try {
    switch (book.Settle(*id, finding == "charged" ? journal::Finding::Charged : journal::Finding::NotCharged,
                        journal::LocalTimeNow())) {
      case journal::SettleResult::NoSuchRow: return {kInputRefused, {}, number + " 거래가 저널에 없습니다.\n"};
      case journal::SettleResult::AlreadySettled: {
        const std::optional<journal::Entry> entry = book.ById(*id);
        return {kInputRefused, {},
                number + " 거래는 이미 확인되었습니다: " + (entry ? Utf8(journal::SettledText(*entry)) : "") + "\n"};
      }
      case journal::SettleResult::NotUnknown:
        return {kInputRefused, {}, number + " 거래는 서비스의 응답이 기록된 거래입니다. 확인할 것이 없습니다.\n"};
      case journal::SettleResult::Settled: break;
    }
    const std::optional<journal::Entry> entry = book.ById(*id);
    if (!entry) return {kNotJournaled, {}, number + " 거래를 다시 읽을 수 없습니다.\n"};
    std::string out = number + "  " + Utf8(journal::KindName(entry->Kind)) + "  " +
                      Won(entry->Total, terminal.ThousandsSeparator) + "  " + Utf8(journal::SettledText(*entry)) + "\n";
    if (entry->Printed == journal::PrintState::SettledCharged) out += Utf8(journal::NoReceiptForSettledCharge()) + "\n";
    return {kAccepted, out, {}};
  } catch (const journal::JournalError& error) {
    return {kNotJournaled, {}, Utf8(error.what()) + "\n"};
  }
}

VekResult RunJournal(const std::optional<std::string>& date, const VekTerminal& terminal) {
  std::string day = journal::LocalTimeNow().substr(0, 10);
  if (date) {
    const std::optional<std::string> valid = journal::JournalDate(*date);
    if (!valid) return {kInputRefused, {}, "날짜는 YYYYMMDD로 입력하십시요.\n"};
    day = *valid;
  }
  if (auto none = NoJournal(terminal)) return *none;
  journal::Journal& book = *terminal.Desk.journal();
  try {
    std::string out = JournalListing(book.Day(day), terminal.ThousandsSeparator);
    out += OwedText(book.InStates({journal::PrintState::Pending, journal::PrintState::Failed}).size());
    out += Utf8(journal::UnknownOutcomeNotice(
        book.InStates({journal::PrintState::InFlight, journal::PrintState::Unknown}), terminal.ThousandsSeparator));
    return {kAccepted, out, {}};
  } catch (const journal::JournalError& error) {
    return {kNotJournaled, {}, Utf8(error.what()) + "\n"};
  }
}

}  // namespace cli
