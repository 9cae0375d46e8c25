#include <cstdlib>

#include "platform/system/StateFolder.h"

namespace platform {

std::string StateFolder() {
  const char* state = std::getenv("STATE_DIRECTORY");
  if (state == nullptr) return {};
  const std::string all(state);
  const std::string first = all.substr(0, all.find(':'));
  if (first.empty()) return {};
  return first.back() == '/' ? first : first + "/";
}

}  // namespace platform
