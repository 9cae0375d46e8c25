#include "ReceiptDesk.h"

#include "receipt/ReceiptFraming.h"

namespace journal {
namespace {

std::optional<std::string> Printing(const receipt::ReceiptLines& lines, const Print& print) {
  try {
    print(lines);
  } catch (const std::exception& error) {
    return error.what();
  }
  return std::nullopt;
}

}  // namespace

std::string Framed(const receipt::ReceiptLines& lines, std::int32_t printerPort) {
  std::string bytes;
  for (const std::string& write :
       printerPort == 0 ? receipt::PrinterPortWrites(lines) : receipt::SerialRouteWrites(lines))
    bytes += write;
  return bytes;
}

ReceiptDesk::ReceiptDesk(const settings::MerchantSettings& settings) {
  try {
    journal_ = Journal::Open(settings.JournalFile, settings.JournalRetentionDays);
  } catch (const JournalError& error) {
    openError_ = error.what();
  }
}

PrintedReceipt ReceiptDesk::RecordAndPrint(const payment::AcceptedOperation& accepted,
                                           const receipt::ReceiptLines& lines, std::int32_t printerPort,
                                           const Print& print) {
  PrintedReceipt result;
  result.JournalError = openError_;
  if (journal_) {
    const Entry entry{.At = LocalTimeNow(),
                      .Kind = accepted.Kind,
                      .Number = accepted.Number,
                      .Total = accepted.Amounts.Total,
                      .Net = accepted.Amounts.Net,
                      .Tax = accepted.Amounts.Tax,
                      .ApprovalNumber = accepted.ApprovalNumber,
                      .Request = accepted.Request,
                      .Reply = accepted.Reply,
                      .Lines = lines,
                      .PrinterPort = printerPort,
                      .Framed = Framed(lines, printerPort)};
    try {
      result.Id = journal_->Record(entry);
    } catch (const JournalError& error) {
      result.JournalError = error.what();
    }
  }
  result.PrintError = Printing(lines, print);
  if (result.Id != 0 && !result.PrintError) {
    try {
      journal_->SetPrinted(result.Id, PrintState::Printed);
    } catch (const JournalError& error) {
      result.JournalError = error.what();
    }
  }
  return result;
}

std::optional<std::string> ReceiptDesk::Reprint(const Entry& entry, const Print& print) {
  std::optional<std::string> error = Printing(receipt::MarkedAsReprint(entry.Lines), print);
  if (!error && journal_ && entry.Id != 0) {
    try {
      journal_->SetPrinted(entry.Id, PrintState::Printed);
    } catch (const JournalError&) {
      // The receipt is out; the journal still says it isn't, and offers it again.
    }
  }
  return error;
}

void ReceiptDesk::Failed(std::int64_t id) {
  if (!journal_ || id == 0) return;
  try {
    journal_->SetPrinted(id, PrintState::Failed);
  } catch (const JournalError&) {
    // Left pending: the next start-up offers it again, which is the safe side.
  }
}

}  // namespace journal
