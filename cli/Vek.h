#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "journal/ReceiptDesk.h"
#include "payment/PaymentModule.h"
#include "receipt/PrinterStatus.h"
#include "receipt/ReceiptLines.h"
#include "settings/MerchantSettings.h"

// vek: the terminal's commands without a window, for a point-of-sale program or a
// script. The same operations, checks and messages as the window's commands.
namespace cli {

enum ExitStatus : int {
  kAccepted = 0,
  kRefused = 1,          // the service refused
  kCallFailed = 2,       // the module answered false
  kModuleUnusable = 3,   // the module is missing or has no entry point
  kInputRefused = 4,     // the checks refused the input or the settings; no request was made
  kReceiptNotPrinted = 5,  // the printer can't print (no request was made) or the receipt failed
  kReplyUnreadable = 6,  // the service accepted, but the reply's amount could not be read
  kNotJournaled = 7,     // accepted and printed, but the journal could not record it
};

// What a run wrote (UTF-8) and how it ended.
struct VekResult {
  int Status = kAccepted;
  std::string Out;
  std::string Err;
};

// The receipt printer of the settings.
struct ReceiptPrinting {
  // Asked before an operation that prints: the error that keeps the printer from
  // printing, or nothing, with a warning maybe.
  std::function<receipt::PrinterReadiness()> NotReady;
  // Prints an accepted operation's receipt; raises what the printer raises.
  std::function<void(const receipt::ReceiptLines&)> Print;
};

// What the commands work with: the terminal's settings, module, printer and journal,
// and the thousands separator of the system's regional settings (CP949).
struct VekTerminal {
  const settings::MerchantSettings& Settings;
  payment::PaymentModule& Module;
  ReceiptPrinting Printer;
  journal::ReceiptDesk& Desk;
  std::string ThousandsSeparator = ",";
};

// Runs the command in `args` (UTF-8, without the program's name).
VekResult RunVek(const std::vector<std::string>& args, const VekTerminal& terminal);

std::string VekHelp();

}  // namespace cli
