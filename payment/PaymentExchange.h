#pragma once

#include <string>
#include <string_view>

#include "payment/PaymentModule.h"

namespace payment {

enum class ExchangeOutcome {
  // Nothing was sent: an entry value or a setting would not keep to its field (the
  // operations' checks), or the whole request doesn't fit the module's buffer.
  InputRefused,
  PrinterNotReady,    // an operation that prints found the printer unable to: nothing was sent
  ModuleUnavailable,  // the module can't be loaded or has no entry point
  CallFailed,         // the module answered false
  Refused,            // a result code other than "0000"
  Accepted,
};

struct ExchangeResult {
  ExchangeOutcome Outcome = ExchangeOutcome::ModuleUnavailable;
  // For CallFailed the module's reply text as it is; for Refused and Accepted the
  // trimmed message text; for ModuleUnavailable why, when known. What the screen's
  // message label shows.
  std::string LabelText;
  std::string Payload;  // Refused and Accepted
  std::string Reply;    // the module's reply text as it gave it
};

// One exchange with the module: the request goes out, the outcome comes back.
ExchangeResult PaymentExchange(PaymentModule& module, std::string_view request);

// The operator's message box texts (CP949) for the two outcomes that have one.
const std::string& ModuleUnavailableMessage();
const std::string& RequestTooLongMessage();

}  // namespace payment
