// Any bytes as a settings file: parsing and reading never fail, values stay within
// the 2047-byte cut, and UTF-8 detection plus conversion never crash.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/text/Cp949.h"
#include "platform/text/IniProfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto ini = platform::IniProfile::Parse(bytes);
  // Ask for names taken from the input itself so matching paths are reached.
  const std::size_t cut = size / 3;
  const std::string value = ini.ReadString(bytes.substr(0, cut), bytes.substr(cut, cut), "d");
  if (value.size() > platform::IniProfile::kMaxValueBytes) std::abort();
  if (platform::IsValidUtf8(bytes)) (void)platform::Utf8ToCp949(bytes);
  (void)platform::Cp949ToUtf8(bytes);
  return 0;
}
