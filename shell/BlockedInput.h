#pragma once

#include <memory>

#include "payment/PaymentModule.h"

// The module call and the receipt's output block the main thread, and the screen
// must not react meanwhile: whatever the operator touched or typed during them is
// dropped, never run afterwards against fields that have changed under it (a second
// charge from a tap made while the first one was waiting).
namespace shell {

// Fetches what the window system holds for the program and drops its input events
// (touches, mouse, keys); everything else is handled as usual.
void DropInputReceivedMeanwhile();

// The payment module as the window calls it: input that arrived during the call is
// dropped before its outcome is shown.
class ScreenBlockingModule final : public payment::PaymentModule {
 public:
  explicit ScreenBlockingModule(std::shared_ptr<payment::PaymentModule> module) : module_(std::move(module)) {}
  std::optional<payment::ModuleAnswer> Call(std::string_view request) override;
  std::string WhyUnavailable() const override { return module_->WhyUnavailable(); }

 private:
  std::shared_ptr<payment::PaymentModule> module_;
};

}  // namespace shell
