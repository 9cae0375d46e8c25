#include <windows.h>

#include "platform/system/ErrorText.h"
#include "platform/system/PrivateFile.h"

namespace platform {

std::optional<std::string> CreatePrivateFile(const std::string& path) {
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return SystemErrorText(static_cast<int>(GetLastError()));
  CloseHandle(handle);
  return std::nullopt;
}

// Converted as CreateFileA converts it, so SQLite opens the file made above.
std::optional<std::string> Utf8FileName(const std::string& path) {
  if (path.empty()) return path;
  const int size = static_cast<int>(path.size());
  const int wide = MultiByteToWideChar(CP_ACP, 0, path.data(), size, nullptr, 0);
  if (wide <= 0) return std::nullopt;
  std::wstring text(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.data(), size, text.data(), wide);
  const int narrow = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return std::nullopt;
  std::string utf8(static_cast<std::size_t>(narrow), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, utf8.data(), narrow, nullptr, nullptr);
  return utf8;
}

}  // namespace platform
