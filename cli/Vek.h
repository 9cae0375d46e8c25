#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "payment/PaymentModule.h"
#include "receipt/ReceiptLines.h"
#include "settings/MerchantSettings.h"

// vek: the terminal's commands without a window, for a point-of-sale program or a
// script. The same operations, checks and messages as the window's commands.
namespace cli {

enum ExitStatus : int {
  kAccepted = 0,
  kRefused = 1,          // the service refused
  kCallFailed = 2,       // the module answered false
  kModuleUnusable = 3,   // the module is missing, or its accepted reply can't be read
  kInputRefused = 4,     // the checks refused the input; no request was made
  kReceiptNotPrinted = 5,
};

// What a run wrote (UTF-8) and how it ended.
struct VekResult {
  int Status = kAccepted;
  std::string Out;
  std::string Err;
};

// Prints an accepted operation's receipt; raises what the printer raises.
using ReceiptPrinting = std::function<void(const receipt::ReceiptLines&)>;

// Runs the command in `args` (UTF-8, without the program's name).
VekResult RunVek(const std::vector<std::string>& args, const settings::MerchantSettings& settings,
                 payment::PaymentModule& module, const ReceiptPrinting& print);

std::string VekHelp();

}  // namespace cli
