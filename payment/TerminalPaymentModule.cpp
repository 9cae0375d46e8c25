#include "TerminalPaymentModule.h"

#include <cstdlib>
#include <filesystem>

#include "payment/LibraryPaymentModule.h"
#include "platform/system/CodeLocation.h"
#ifndef _WIN32
#include "payment/HostPaymentModule.h"
#endif

namespace payment {
namespace {

class WorkingFolderModule : public PaymentModule {
 public:
  std::optional<ModuleAnswer> Call(std::string_view request) override {
    why_.clear();
#ifndef _WIN32
    // The provider ships a Windows library only: without a library of this system
    // beside it, the module host calls it under Wine.
    constexpr const char* windowsModule = "VEKDLL.dll";
    std::error_code error;
    if (!std::filesystem::exists(kModulePath, error) && std::filesystem::exists(windowsModule, error)) {
      if (Unsafe(windowsModule)) return std::nullopt;
      const char* socket = std::getenv("VEK_MODULE_SOCKET");
      return HostPaymentModule(socket != nullptr && *socket != '\0' ? socket : modulehost::kDefaultSocketPath,
                               std::filesystem::absolute(windowsModule, error).string())
          .Call(request);
    }
#endif
    if (Unsafe(kModulePath)) return std::nullopt;
    return LibraryPaymentModule().Call(request);
  }
  std::string WhyUnavailable() const override { return why_; }

 private:
  // A module that others than the administrators could have put there is not
  // handed a request; where they could put one, none is looked for either (one
  // planted between a look and the load would be loaded).
  bool Unsafe(const char* path) {
    if (auto why = platform::UnsafeCodeLocation(path)) why_ = std::move(*why);
    return !why_.empty();
  }

  std::string why_;
};

}  // namespace

std::shared_ptr<PaymentModule> TerminalPaymentModule() { return std::make_shared<WorkingFolderModule>(); }

}  // namespace payment
