#pragma once

#include <optional>
#include <string>
#include <vector>

#include "payment/PaymentModule.h"

namespace testsupport {

// The payment module in the test's hands: it keeps every request and gives the
// answer set last (none: the module can't be loaded).
class ScriptedPaymentModule : public payment::PaymentModule {
 public:
  std::optional<payment::ModuleAnswer> Call(std::string_view request) override {
    Requests.emplace_back(request);
    return Answer;
  }
  void Answers(bool result, std::string reply) { Answer = payment::ModuleAnswer{result, std::move(reply)}; }

  std::optional<payment::ModuleAnswer> Answer;
  std::vector<std::string> Requests;
};

}  // namespace testsupport
