#include <windows.h>

#include <utility>

#include "platform/system/DynamicLibrary.h"

namespace platform {

std::optional<DynamicLibrary> DynamicLibrary::Open(const std::string& path) {
  // A relative path would be looked for along the system's search order, the
  // program's own folder first; with a folder in it, it means the current one.
  std::string file = path;
  DWORD search = 0;
  if (path.find_first_of("\\/") != std::string::npos) {
    char full[MAX_PATH + 1] = {};
    const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n > MAX_PATH) return std::nullopt;
    file.assign(full, n);
    // What it imports comes from its own folder and the system's, never from PATH
    // or another current folder.
    search = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
  }
  // A damaged library is a failed load, not a system box that would hold the
  // counter until someone closes it.
  DWORD previousMode = 0;
  const bool quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
  HMODULE handle = LoadLibraryExA(file.c_str(), nullptr, search);
  if (quiet) SetThreadErrorMode(previousMode, nullptr);
  if (handle == nullptr) return std::nullopt;
  return DynamicLibrary(handle);
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* DynamicLibrary::Symbol(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace platform
