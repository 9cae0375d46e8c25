#include <windows.h>

#include "platform/system/ErrorText.h"

namespace platform {

std::string SystemErrorText(int code) {
  char buffer[257] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(code), 0, buffer, sizeof buffer - 1, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 0x20 || text.back() == '.')) text.pop_back();
  return text;
}

}  // namespace platform
