#pragma once

#include <chrono>
#include <string>

#include "modulehost/HostChannel.h"
#include "payment/PaymentModule.h"

namespace payment {

// How long a call waits for the supervisor's answer: its wait for the host, its time
// limit on the call, and a margin. The supervisor answers within that time unless
// it is stuck itself.
inline constexpr std::chrono::seconds kModuleHostWait{modulehost::kHostWaitLimitSeconds +
                                                      modulehost::kCallTimeLimitSeconds + 15};

// A Windows payment module (a DLL) called by the module host under Wine, through
// the supervisor's socket: one connection per call. The same answers as the
// module in process; and when the host ends during the call or doesn't answer in
// time, false with a text that says the outcome is unknown.
class HostPaymentModule : public PaymentModule {
 public:
  HostPaymentModule(std::string socketPath, std::string modulePath,
                    std::chrono::milliseconds wait = kModuleHostWait)
      : socketPath_(std::move(socketPath)), modulePath_(std::move(modulePath)), wait_(wait) {}
  // nullopt when nothing was sent: no supervisor, the library can't be loaded or
  // has no entry point, no host could be started.
  std::optional<ModuleAnswer> Call(std::string_view request) override;

 private:
  std::string socketPath_;
  std::string modulePath_;
  std::chrono::milliseconds wait_;
};

// The operator's texts (CP949) for a call whose outcome is unknown: the host ended
// during it, or it took longer than the time limit.
const std::string& HostEndedMessage();
const std::string& HostTimedOutMessage();

}  // namespace payment
