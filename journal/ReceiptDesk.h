#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "journal/Journal.h"
#include "payment/Operations.h"
#include "settings/MerchantSettings.h"

// Where an accepted operation's receipt goes, for the window and vek alike: into the
// journal first (committed before the printer is touched), then to the printer,
// then the journal learns whether it printed. The journal never keeps a receipt from
// a working printer: when it can't be written the receipt prints all the same, and
// its error is told after the paper is out.
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
  // the caller and again with every receipt it could not record.
  explicit ReceiptDesk(const settings::MerchantSettings& settings);

  const std::optional<std::string>& OpenError() const { return openError_; }
  // Nothing where there is no journal (an error, or a build without one).
  Journal* journal() const { return journal_.get(); }

  PrintedReceipt RecordAndPrint(const payment::AcceptedOperation& accepted, const receipt::ReceiptLines& lines,
                                std::int32_t printerPort, const Print& print);
  // Prints an entry's receipt again, marked as a reprint, and records that it
  // printed: the printer's error, or nothing.
  std::optional<std::string> Reprint(const Entry& entry, const Print& print);
  // Records that the operator was told its receipt did not print.
  void Failed(std::int64_t id);

 private:
  std::unique_ptr<Journal> journal_;
  std::optional<std::string> openError_;
};

// A receipt framed for the route of `printerPort`, as the printer gets it.
std::string Framed(const receipt::ReceiptLines& lines, std::int32_t printerPort);

}  // namespace journal
