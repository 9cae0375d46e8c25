#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/system/StandardOutput.h"

namespace platform {
namespace {

std::wstring Utf16(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

}  // namespace

// Bytes written to a console are read in its code page (the OEM one: 949 on a
// Korean system), where UTF-8 is garbage; WriteConsoleW takes the characters as
// they are. Anything else keeps the bytes, through the C library like before (its
// text mode ends lines with CR LF).
void WriteStandard(StandardStream stream, std::string_view utf8) {
  std::FILE* const file = stream == StandardStream::Output ? stdout : stderr;
  const HANDLE handle = GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
    std::fwrite(utf8.data(), 1, utf8.size(), file);
    return;
  }
  std::fflush(file);  // what the C library holds comes first
  const std::wstring wide = Utf16(utf8);
  // A console may take less than it is given in one call.
  for (std::size_t done = 0; done < wide.size();) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 16384));
    if (!WriteConsoleW(handle, wide.data() + done, chunk, &written, nullptr) || written == 0) return;
    done += written;
  }
}

}  // namespace platform
