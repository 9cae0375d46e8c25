#include "DayWork.h"

#include <algorithm>

#include "BlockedInput.h"
#include "journal/DayClosing.h"
#include "journal/JournalTexts.h"
#include "payment/EntryChecks.h"
#include "platform/text/Cp949.h"

namespace shell {
namespace {

std::string Korean(const char* utf8) { return platform::Utf8ToCp949(utf8); }

// One operation as the start-up boxes list it: time, kind, masked number, amount.
std::string Row(const journal::Entry& e, const std::string& separator) {
  return e.At + "  " + journal::KindName(e.Kind) + "  " + journal::MaskedNumber(e.Number) + "  " +
         journal::WonText(e.Total, separator);
}

// A box lists this many and says how many more: a day of a dead printer owes
// hundreds, and the box must stay on the screen.
constexpr std::size_t kListed = 10;

}  // namespace

DayWork::DayWork(journal::ReceiptDesk& desk, MessageBoxes& messages, const settings::MerchantSettings& settings,
                 std::string thousandsSeparator, journal::Print print,
                 std::function<receipt::PrinterReadiness()> ready)
    : desk_(desk), messages_(messages), settings_(settings), separator_(std::move(thousandsSeparator)),
      print_(std::move(print)), ready_(std::move(ready)) {}

void DayWork::StartupNotices() {
  TellUnknownOutcomes();
  OfferOwedReceipts();
}

void DayWork::TellUnknownOutcomes() {
  journal::Journal* book = desk_.journal();
  if (!book) return;
  std::vector<journal::Entry> unknown;
  try {
    unknown = book->InStates({journal::PrintState::InFlight, journal::PrintState::Unknown});
  } catch (const journal::JournalError& error) {
    return messages_.ShowMessage(error.what());
  }
  if (unknown.empty()) return;
  const std::size_t answer = messages_.Choose(journal::UnknownOutcomeNotice(unknown, separator_, kListed),
                                              {Korean("조회 결과 입력"), Korean("나중에")});
  // Told: vek journal and the next start list them until they are settled.
  for (const journal::Entry& e : unknown) {
    try {
      book->SetPrinted(e.Id, journal::PrintState::Unknown);
    } catch (const journal::JournalError&) {
      // Still in flight: told again at the next start, which is the safe side.
    }
  }
  if (answer == 0) Settle(unknown);
}

void DayWork::Settle(const std::vector<journal::Entry>& unknown) {
  journal::Journal* book = desk_.journal();
  for (const journal::Entry& e : unknown) {
    const std::size_t answer =
        messages_.Choose(Korean("서비스에 조회한 결과를 입력하십시오.\n") + Row(e, separator_),
                         {Korean("결제됨"), Korean("결제 안 됨"), Korean("건너뛰기"), Korean("그만")});
    if (answer == 3) return;  // the rest at the next start, or with vek settle
    if (answer == 2) continue;
    const journal::Finding finding = answer == 0 ? journal::Finding::Charged : journal::Finding::NotCharged;
    journal::SettleResult result;
    try {
      result = book->Settle(e.Id, finding, journal::LocalTimeNow());
    } catch (const journal::JournalError& error) {
      messages_.ShowMessage(error.what());
      continue;
    }
    switch (result) {
      case journal::SettleResult::Settled:
        // The answer never came: there is no receipt of the service's to print.
        if (finding == journal::Finding::Charged)
          messages_.ShowMessage(journal::NoReceiptForSettledCharge() + "\n" + Row(e, separator_));
        break;
      case journal::SettleResult::AlreadySettled:
        messages_.ShowMessage(Korean("이미 정리된 거래입니다.\n") + Row(e, separator_));
        break;
      case journal::SettleResult::NoSuchRow:
      case journal::SettleResult::NotUnknown:
        messages_.ShowMessage(Korean("결과가 이미 기록된 거래입니다.\n") + Row(e, separator_));
        break;
    }
  }
}

void DayWork::OfferOwedReceipts() {
  journal::Journal* book = desk_.journal();
  if (!book) return;
  std::vector<journal::Entry> owed;
  try {
    // Also those the printer failed on or the operator left for later.
    owed = book->InStates({journal::PrintState::Pending, journal::PrintState::Failed});
  } catch (const journal::JournalError& error) {
    return messages_.ShowMessage(error.what());
  }
  if (owed.empty()) return;
  std::string text =
      Korean("영수증이 인쇄되지 않은 거래가 있습니다 (") + std::to_string(owed.size()) + Korean("건).") + "\n";
  for (std::size_t i = 0; i < std::min(owed.size(), kListed); ++i)
    text += "  " + Row(owed[i], separator_) + "  " + owed[i].ApprovalNumber + "\n";
  if (owed.size() > kListed) text += Korean("  외 ") + std::to_string(owed.size() - kListed) + Korean("건") + "\n";
  if (messages_.Choose(text, {Korean("모두 인쇄"), Korean("나중에")}) != 0) return;
  // The printer's own state first, as before a payment: paper out would otherwise
  // take every receipt owed and mark them printed.
  if (const auto refusal = ready_().NotReady) return messages_.ShowError(*refusal);
  const journal::ReceiptDesk::OwedReprints done = desk_.ReprintOwed(print_);
  DropInputReceivedMeanwhile();  // the printing blocked the screen
  if (done.PrintError)
    messages_.ShowError(*done.PrintError + "\n" + Korean("인쇄 ") + std::to_string(done.Printed) +
                        Korean("건, 남은 영수증 ") + std::to_string(done.Remaining) + Korean("건 (다음 시작 때 다시)"));
  if (done.JournalError) messages_.ShowError(*done.JournalError);
}

void DayWork::CloseDay() {
  const std::string today = journal::LocalTimeNow().substr(0, 10);
  if (messages_.Choose(Korean("오늘(") + today + Korean(")의 마감 영수증을 인쇄하시겠습니까?"),
                       {Korean("마감 인쇄"), Korean("취소")}) != 0)
    return;
  journal::Journal* book = desk_.journal(journal::OpenMode::ExistingOnly);
  if (!book)
    return messages_.ShowMessage(desk_.OpenError() ? *desk_.OpenError() : Korean("이 프로그램에는 저널이 없습니다."));
  // Printed texts of the settings' that a payment would refuse are refused here too.
  if (const auto refusal = payment::CheckSettings(settings_, true)) return messages_.ShowMessage(*refusal);
  if (const auto refusal = ready_().NotReady) return messages_.ShowError(*refusal);
  receipt::ReceiptLines lines;
  try {
    lines = journal::CloseDay(*book, today, journal::LocalTimeNow(), settings_, separator_);
  } catch (const journal::JournalError& error) {
    return messages_.ShowMessage(error.what());
  }
  try {
    print_(lines);
  } catch (const std::exception& error) {
    DropInputReceivedMeanwhile();
    return messages_.ShowError(error.what());
  }
  DropInputReceivedMeanwhile();
}

}  // namespace shell
