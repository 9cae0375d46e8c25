#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "payment/PaymentModule.h"

namespace testsupport {

// The payment module in the test's hands: it keeps every request and gives the
// answer set last (none: the module can't be loaded), after running `During` (what
// happens while the call is out).
class ScriptedPaymentModule : public payment::PaymentModule {
 public:
  std::optional<payment::ModuleAnswer> Call(std::string_view request) override {
    Requests.emplace_back(request);
    if (During) During();
    return Answer;
  }
  void Answers(bool result, std::string reply) { Answer = payment::ModuleAnswer{result, std::move(reply)}; }

  std::optional<payment::ModuleAnswer> Answer;
  std::vector<std::string> Requests;
  std::function<void()> During;
};

}  // namespace testsupport
