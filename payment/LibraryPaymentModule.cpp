#include "LibraryPaymentModule.h"

#include <array>
#include <cstring>

#include "platform/system/DynamicLibrary.h"

namespace payment {

std::optional<ModuleAnswer> LibraryPaymentModule::Call(std::string_view request) {
  using EntryPoint = unsigned char(VEK_MODULE_CALL*)(const char*, int, char*, char*);

  std::array<char, kMessageBufferBytes> requestBuffer{};
  std::array<char, kMessageBufferBytes> replyBuffer{};
  // The caller keeps requests within the buffer; cut defensively all the same.
  std::memcpy(requestBuffer.data(), request.data(), std::min(request.size(), kMaxRequestBytes));

  unsigned char result = 0;
  {
    const auto library = platform::DynamicLibrary::Open(path_);
    if (!library) return std::nullopt;
    const auto entry = reinterpret_cast<EntryPoint>(library->Symbol(kModuleEntryPoint));
    if (entry == nullptr) return std::nullopt;
    result = entry(kPaymentServerAddress, kPaymentServerPort, requestBuffer.data(), replyBuffer.data());
  }  // released here, whatever the result

  return ModuleAnswer{result != 0, ReplyText(std::string_view(replyBuffer.data(), replyBuffer.size()))};
}

}  // namespace payment
