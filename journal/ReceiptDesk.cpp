#include "ReceiptDesk.h"

#include <utility>

#include "payment/Reply.h"
#include "platform/text/Cp949.h"
#include "payment/Requests.h"
#include "journal/ShippedMark.h"
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

ReceiptDesk::ReceiptDesk(const settings::MerchantSettings& settings)
    : path_(settings.JournalFile),
      retentionDays_(settings.JournalRetentionDays),
      shipped_(!settings.OfficeDb.empty()),
      shipperFolder_(settings.ShipperFolder) {}

Journal* ReceiptDesk::journal(OpenMode mode) {
  // Opened once, and again after a failure (a database another process held, a
  // folder made since); a build without a journal has none to open.
  if (journal_ || (opened_ && !openError_)) return journal_.get();
  opened_ = true;
  try {
    journal_ = Journal::Open(path_, mode, shipped_ ? Readers::OwnerAndGroup : Readers::Owner);
    openError_.reset();
  } catch (const JournalError& error) {
    openError_ = error.what();
  }
  return journal_.get();
}

std::optional<std::string> ReceiptDesk::RemoveExpired() {
  if (!journal()) return std::nullopt;
  try {
    // A mark not written yet (or unreadable) is nothing shipped: all is kept.
    std::optional<std::int64_t> shippedUpTo;
    if (shipped_)
      shippedUpTo = ReadShippedMark(ShippedMarkFile(shipperFolder_, journal_->Identity())).value_or(0);
    journal_->RemoveExpired(retentionDays_, shippedUpTo);
  } catch (const JournalError& error) {
    return error.what();
  }
  return std::nullopt;
}

std::optional<std::string> ReceiptDesk::Sending(std::string_view request) {
  inFlight_.reset();
  const std::optional<payment::PaymentRequestFields> fields = payment::ReadPaymentRequest(request);
  if (!fields) {
    // An inquiry moves nothing; anything else the journal can't read might.
    if (request.substr(0, 11) == std::string_view("\x02PAIR\x1C" "9100\x1C", 11)) return std::nullopt;
    return platform::Utf8ToCp949("거래를 보내지 않았습니다: 저널이 읽을 수 없는 요청입니다.");
  }
  const receipt::ReceiptKind kind = fields->Code == "9000"   ? receipt::ReceiptKind::VoucherUse
                                    : fields->Code == "9002" ? receipt::ReceiptKind::VoucherCancellation
                                    : fields->Code == "9300" ? receipt::ReceiptKind::CashCardApproval
                                                             : receipt::ReceiptKind::CashCardCancellation;
  const payment::Amounts amounts = payment::SplitAmount(fields->Total);
  InFlight sent{std::string(request), 0, std::nullopt};
  if (journal()) {
    try {
      sent.Id = journal_->RecordInFlight({.At = LocalTimeNow(),
                                          .Kind = kind,
                                          .Number = fields->Number,
                                          .Total = amounts.Total,
                                          .Net = amounts.Net,
                                          .Tax = amounts.Tax,
                                          .OriginalApproval = fields->OriginalApproval,
                                          .Request = std::string(request)});
    } catch (const JournalError& error) {
      sent.Error = error.what();
    }
  } else {
    sent.Error = openError_;
  }
  // A journal that can't know of the payment (a build without one has no error):
  // nothing is sent, or a terminal that died during the call would leave a charge
  // the counter knows nothing of.
  if (sent.Error) return platform::Utf8ToCp949("거래를 보내지 않았습니다: ") + *sent.Error;
  inFlight_ = std::move(sent);
  return std::nullopt;
}

void ReceiptDesk::Answered(const std::optional<payment::ModuleAnswer>& answer) {
  if (!inFlight_) return;
  if (answer && answer->Result && payment::IsAccepted(payment::CutPayload(answer->Reply))) return;
  if (inFlight_->Id != 0) {
    try {
      // A call the module failed may have reached the server (a connection lost
      // before the answer): its outcome stays unknown, as the operator was just
      // told. Refused, or no module to send it: nothing was charged, and the
      // journal keeps accepted operations only.
      if (answer && !answer->Result)
        journal_->SetPrinted(inFlight_->Id, PrintState::Unknown);
      else
        journal_->Remove(inFlight_->Id);
    } catch (const JournalError&) {
      // Left in flight: told as unknown, which is the safe side.
    }
  }
  inFlight_.reset();
}

PrintedReceipt ReceiptDesk::RecordAndPrint(const payment::AcceptedOperation& accepted,
                                           const receipt::ReceiptLines& lines, std::int32_t printerPort,
                                           const Print& print) {
  PrintedReceipt result;
  // The row in flight for this request, when there is one; otherwise a new one.
  std::optional<InFlight> sent = std::exchange(inFlight_, std::nullopt);
  if (sent && sent->Request != accepted.Request) sent.reset();
  if (sent) result.JournalError = sent->Error;
  if (journal()) {
    const std::optional<payment::PaymentRequestFields> fields = payment::ReadPaymentRequest(accepted.Request);
    const Entry entry{.At = LocalTimeNow(),
                      .Kind = accepted.Kind,
                      .Number = accepted.Number,
                      .Total = accepted.Amounts.Total,
                      .Net = accepted.Amounts.Net,
                      .Tax = accepted.Amounts.Tax,
                      .ApprovalNumber = accepted.ApprovalNumber,
                      .OriginalApproval = fields ? fields->OriginalApproval : std::string(),
                      .Request = accepted.Request,
                      .Reply = accepted.Reply,
                      .Lines = lines,
                      .PrinterPort = printerPort,
                      .Framed = Framed(lines, printerPort)};
    try {
      if (sent && sent->Id != 0) {
        journal_->Complete(sent->Id, entry);
        result.Id = sent->Id;
      } else {
        result.Id = journal_->Record(entry);
      }
      result.JournalError.reset();
    } catch (const JournalError& error) {
      result.JournalError = error.what();
    }
  } else {
    result.JournalError = openError_;
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
  bool cancelled = false;
  if (journal()) {
    try {
      cancelled = journal_->CancelledSince(entry);
    } catch (const JournalError&) {
      // Printed as the sale it was; the cancellation's own receipt stands.
    }
  }
  std::optional<std::string> error = Printing(receipt::MarkedAsReprint(entry.Lines, cancelled), print);
  if (!error && journal_ && entry.Id != 0) {
    try {
      journal_->SetPrinted(entry.Id, PrintState::Printed);
    } catch (const JournalError&) {
      // The receipt is out; the journal still says it isn't, and offers it again.
    }
  }
  return error;
}

std::optional<payment::ModuleAnswer> JournaledModule::Call(std::string_view request) {
  // Told as the module's failure text is, in the red label: nothing was sent.
  if (auto refusal = desk_.Sending(request)) return payment::ModuleAnswer{false, std::move(*refusal)};
  std::optional<payment::ModuleAnswer> answer = module_.Call(request);
  desk_.Answered(answer);
  return answer;
}

ReceiptDesk::OwedReprints ReceiptDesk::ReprintOwed(const Print& print) {
  OwedReprints result;
  if (!journal(OpenMode::ExistingOnly)) {
    result.JournalError = openError_;
    return result;
  }
  std::vector<Entry> owed;
  try {
    owed = journal_->InStates({PrintState::Pending, PrintState::Failed});
  } catch (const JournalError& error) {
    result.JournalError = error.what();
    return result;
  }
  for (const Entry& entry : owed) {
    if (result.PrintError) {
      ++result.Remaining;
    } else if ((result.PrintError = Reprint(entry, print))) {
      ++result.Remaining;  // still owed: Reprint records only what printed
    } else {
      ++result.Printed;
    }
  }
  return result;
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
