#include "platform/system/ErrorText.h"

#include <cstring>

namespace platform {

std::string SystemErrorText(int code) {
  char buffer[257];
  // The GNU strerror_r returns the text, which may or may not be in the buffer.
  std::string text = strerror_r(code, buffer, sizeof buffer);
  if (text.size() > 256) text.resize(256);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 0x20 || text.back() == '.')) text.pop_back();
  return text;
}

}  // namespace platform
