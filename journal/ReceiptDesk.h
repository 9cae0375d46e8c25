#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "journal/Journal.h"
#include "payment/Operations.h"
#include "payment/PaymentModule.h"
#include "settings/MerchantSettings.h"

// Where an operation goes on its way to the paper, for the window and vek alike:
// into the journal as in flight before its request goes to the module; once
// accepted, completed with its receipt (committed before the printer is touched),
// then to the printer, then the journal learns whether it printed. A payment the
// journal can't record in flight is not sent; once accepted, the journal never
// keeps a receipt from a working printer: when the row can't be completed the
// receipt prints all the same, and its error is told after the paper is out.
namespace journal {

using Print = std::function<void(const receipt::ReceiptLines&)>;

struct PrintedReceipt {
  std::int64_t Id = 0;                      // the journal's row; 0: not recorded
  std::optional<std::string> PrintError;    // the printer's error (the payment stands)
  std::optional<std::string> JournalError;  // CP949
};

class ReceiptDesk {
 public:
  // The journal of the settings. An error opening it is kept, told at start-up by
  // the caller and again with every receipt it could not record; each use of the
  // journal tries to open it again.
  explicit ReceiptDesk(const settings::MerchantSettings& settings);

  // The last try's error opening the journal (CP949), or nothing.
  const std::optional<std::string>& OpenError() const { return openError_; }
  // Nothing where there is no journal (it can't be opened now, or a build without
  // one). ExistingOnly: a listing, a reprint or a closing, which never make one.
  Journal* journal(OpenMode mode = OpenMode::CreateIfMissing);

  // The rows past the settings' retention period go, but for what the head office
  // hasn't acknowledged where the journal is shipped: what keeps them is a warning
  // (CP949) and no more, the journal stays open.
  std::optional<std::string> RemoveExpired();

  // The module's call, as JournaledModule reports it: the payment request about to
  // go out is recorded in flight, and closed again unless the answer accepted it.
  // A payment the journal can't record must not go out: why (CP949), or nothing.
  std::optional<std::string> Sending(std::string_view request);
  void Answered(const std::optional<payment::ModuleAnswer>& answer);

  PrintedReceipt RecordAndPrint(const payment::AcceptedOperation& accepted, const receipt::ReceiptLines& lines,
                                std::int32_t printerPort, const Print& print);
  // Prints an entry's receipt again, marked as a reprint (and as cancelled when a
  // cancellation of it is in the journal), and records that it printed: the
  // printer's error, or nothing.
  std::optional<std::string> Reprint(const Entry& entry, const Print& print);
  // Records that the operator was told its receipt did not print.
  void Failed(std::int64_t id);

  struct OwedReprints {
    int Printed = 0;
    int Remaining = 0;                      // still owed: the printer failed, or the journal
    std::optional<std::string> PrintError;  // the printer's error that stopped the batch
    std::optional<std::string> JournalError;  // CP949
  };
  // Prints every receipt owed, oldest first; a printer failing stops the batch and
  // the rest stay owed.
  OwedReprints ReprintOwed(const Print& print);

 private:
  std::string path_;
  int retentionDays_;
  bool shipped_;  // to a head office: its shipper reads the journal and keeps a mark
  std::string shipperFolder_;
  std::unique_ptr<Journal> journal_;
  bool opened_ = false;
  std::optional<std::string> openError_;
  struct InFlight {
    std::string Request;
    std::int64_t Id = 0;  // 0: the journal could not record it
    std::optional<std::string> Error;
  };
  std::optional<InFlight> inFlight_;
};

// The payment module as the window and vek call it: every use, cancellation,
// approval and card cancellation is in the desk's journal before the module has
// its request.
class JournaledModule final : public payment::PaymentModule {
 public:
  JournaledModule(ReceiptDesk& desk, payment::PaymentModule& module) : desk_(desk), module_(module) {}
  std::optional<payment::ModuleAnswer> Call(std::string_view request) override;
  std::string WhyUnavailable() const override { return module_.WhyUnavailable(); }

 private:
  ReceiptDesk& desk_;
  payment::PaymentModule& module_;
};

// A receipt framed for the route of `printerPort`, as the printer gets it.
std::string Framed(const receipt::ReceiptLines& lines, std::int32_t printerPort);

}  // namespace journal
