#include "TerminalPaymentModule.h"

#include <cstdlib>
#include <filesystem>

#include "payment/LibraryPaymentModule.h"
#ifndef _WIN32
#include "payment/HostPaymentModule.h"
#endif

namespace payment {
namespace {

class WorkingFolderModule : public PaymentModule {
 public:
  std::optional<ModuleAnswer> Call(std::string_view request) override {
#ifndef _WIN32
    // The provider ships a Windows library only: without a library of this system
    // beside it, the module host calls it under Wine.
    constexpr const char* windowsModule = "VEKDLL.dll";
    std::error_code error;
    if (!std::filesystem::exists(kModulePath, error) && std::filesystem::exists(windowsModule, error)) {
      const char* socket = std::getenv("VEK_MODULE_SOCKET");
      return HostPaymentModule(socket != nullptr && *socket != '\0' ? socket : modulehost::kDefaultSocketPath,
                               std::filesystem::absolute(windowsModule, error).string())
          .Call(request);
    }
#endif
    return LibraryPaymentModule().Call(request);
  }
};

}  // namespace

std::shared_ptr<PaymentModule> TerminalPaymentModule() { return std::make_shared<WorkingFolderModule>(); }

}  // namespace payment
