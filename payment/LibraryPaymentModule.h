#pragma once

#include <string>

#include "payment/PaymentModule.h"

namespace payment {

#ifdef _WIN32
inline constexpr const char* kModulePath = ".\\VEKDLL.dll";
#define VEK_MODULE_CALL __stdcall
#else
inline constexpr const char* kModulePath = "./VEKDLL.so";
#define VEK_MODULE_CALL
#endif
inline constexpr const char* kModuleEntryPoint = "VEKDataProcPos";
inline constexpr const char* kPaymentServerAddress = "127.0.0.1";
inline constexpr int kPaymentServerPort = 19976;

// The payment module as a run-time library, loaded from the current working
// directory and released again for each call:
//   extern "C" unsigned char VEKDataProcPos(const char* server, int port,
//                                           char* request, char* reply);
// with the stdcall convention on Windows (the entry point removes its arguments).
class LibraryPaymentModule : public PaymentModule {
 public:
  explicit LibraryPaymentModule(std::string path = kModulePath) : path_(std::move(path)) {}
  std::optional<ModuleAnswer> Call(std::string_view request) override;

 private:
  std::string path_;
};

}  // namespace payment
