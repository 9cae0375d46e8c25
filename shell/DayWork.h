#pragma once

#include <functional>
#include <string>
#include <vector>

#include "journal/ReceiptDesk.h"
#include "receipt/PrinterStatus.h"
#include "settings/MerchantSettings.h"
#include "shell/MessageBoxes.h"

// What the counter does around the operations, over the journal and the receipts:
// the start-up notices (the outcomes never learnt, to be settled once checked with
// the service; the receipts owed, in one list) and the day's closing. The window
// only calls it.
namespace shell {

class DayWork {
 public:
  DayWork(journal::ReceiptDesk& desk, MessageBoxes& messages, const settings::MerchantSettings& settings,
          std::string thousandsSeparator, journal::Print print,
          std::function<receipt::PrinterReadiness()> ready);

  // At start-up, once the window is on the screen: the operations of unknown
  // outcome, each to be settled as the operator found it or left for later (the
  // notice comes back at each start until none is left), then the receipts owed,
  // all printed or left for later.
  void StartupNotices();
  // The day's closing on the printer, once the operator confirms it.
  void CloseDay();

 private:
  void TellUnknownOutcomes();
  void Settle(const std::vector<journal::Entry>& unknown);
  void OfferOwedReceipts();

  journal::ReceiptDesk& desk_;
  MessageBoxes& messages_;
  const settings::MerchantSettings& settings_;
  std::string separator_;
  journal::Print print_;
  std::function<receipt::PrinterReadiness()> ready_;  // the printer's own state, asked before printing
};

}  // namespace shell
