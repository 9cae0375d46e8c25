#include <windows.h>

#include "platform/system/ProgramDirectory.h"

namespace platform {

std::string ProgramDirectory() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string file(path, n);
  const std::size_t slash = file.find_last_of("\\/");
  return slash == std::string::npos ? ".\\" : file.substr(0, slash + 1);
}

}  // namespace platform
