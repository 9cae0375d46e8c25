#include <cstdio>

#include "platform/system/StandardOutput.h"

namespace platform {

// A terminal here takes UTF-8 itself.
void WriteStandard(StandardStream stream, std::string_view utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stream == StandardStream::Output ? stdout : stderr);
}

}  // namespace platform
