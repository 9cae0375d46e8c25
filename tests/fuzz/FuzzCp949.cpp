// Any bytes as a text from the module, the server or a settings file: both
// conversions are total, give well-formed output of bounded size, and keep what
// follows an unconvertible sequence.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/text/Cp949.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = std::string(reinterpret_cast<const char*>(data), size) + "|END";
  const std::string utf8 = platform::Cp949ToUtf8(text);
  if (!platform::IsValidUtf8(utf8) || !utf8.ends_with("|END") || utf8.size() > 3 * text.size()) std::abort();
  const std::string cp949 = platform::Utf8ToCp949(text);
  if (!cp949.ends_with("|END") || cp949.size() > text.size()) std::abort();
  return 0;
}
