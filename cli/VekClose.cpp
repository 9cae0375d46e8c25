#include "VekClose.h"

#include "journal/DayClosing.h"
#include "journal/JournalTexts.h"
#include "payment/EntryChecks.h"
#include "platform/text/Cp949.h"

namespace cli {
namespace {

std::string Utf8(const std::string& cp949) { return platform::Cp949ToUtf8(cp949); }

// The receipt's text lines as they read on the paper, without its printer commands.
std::string AsText(const receipt::ReceiptLines& lines) {
  std::string out;
  for (const std::string& line : lines) {
    if (line.find_first_of("\x1B\x1C\x1D") != std::string::npos) continue;
    out += Utf8(line);
    if (line.empty() || line.back() != '\n') out += '\n';
  }
  return out;
}

}  // namespace

VekResult RunClose(const std::optional<std::string>& date, const VekTerminal& terminal) {
  const std::string now = journal::LocalTimeNow();
  std::string day = now.substr(0, 10);
  if (date) {
    const std::optional<std::string> valid = journal::JournalDate(*date);
    if (!valid) return {kInputRefused, {}, "날짜는 YYYYMMDD로 입력하십시요.\n"};
    day = *valid;
  }
  // The merchant's texts it prints, refused as a payment refuses them.
  if (const auto refusal = payment::CheckSettings(terminal.Settings, true))
    return {kInputRefused, {}, Utf8(*refusal) + "\n"};
  journal::Journal* book = terminal.Desk.journal(journal::OpenMode::ExistingOnly);
  if (!book) {
    if (terminal.Desk.OpenError())
      return {kNotJournaled, {}, Utf8(*terminal.Desk.OpenError()) + "\n마감할 거래를 읽을 수 없습니다.\n"};
    return {kInputRefused, {}, "이 프로그램에는 저널이 없습니다.\n"};
  }
  receipt::ReceiptLines lines;
  try {
    lines = journal::CloseDay(*book, day, now, terminal.Settings, terminal.ThousandsSeparator);
  } catch (const journal::JournalError& error) {
    return {kNotJournaled, {}, Utf8(error.what()) + "\n"};
  }
  VekResult result{kAccepted, AsText(lines), {}};
  // The printer's own state, as before a payment: a warning is told and printed past.
  const receipt::PrinterReadiness printer =
      terminal.Printer.NotReady ? terminal.Printer.NotReady() : receipt::PrinterReadiness{};
  if (printer.Warning) result.Err = Utf8(*printer.Warning) + "\n";
  std::optional<std::string> printError = printer.NotReady;
  if (!printError) {
    try {
      terminal.Printer.Print(lines);
    } catch (const std::exception& error) {
      printError = error.what();
    }
  }
  if (printError) {
    result.Status = kReceiptNotPrinted;
    result.Err += Utf8(*printError) + "\n마감 영수증을 인쇄하지 못했습니다.\n";
  }
  return result;
}

}  // namespace cli
