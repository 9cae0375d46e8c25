#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <memory>

#include "platform/system/StateFolder.h"

namespace platform {

std::string StateFolder() {
  PWSTR wide = nullptr;
  const HRESULT result = SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DEFAULT, nullptr, &wide);
  const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> held(wide, &CoTaskMemFree);
  if (FAILED(result)) return {};
  // The system's code page, as every path the program takes; a folder it can't
  // hold leaves the journal beside the settings.
  // (UTF-8 holds every name, and takes neither flag.)
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr, utf8 ? nullptr : &lossy);
  if (size <= 1 || lossy) return {};
  std::string folder(static_cast<std::size_t>(size - 1), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide, -1, folder.data(), size, nullptr, nullptr);
  return folder + "\\VEK Terminal\\";
}

}  // namespace platform
