#include "platform/system/DeviceNames.h"
#include "platform/text/IntegerText.h"

namespace platform {

// The system's own names: "COM10" and above only open as \\.\COM10, which works
// for every port; "LPT1" is a device name wherever it is opened.
ResolvedDevice ResolveDevice(std::string_view name, const std::string&) {
  if (name.starts_with("COM")) {
    const auto n = ParseIntegerText(name.substr(3));
    if (n && *n >= 1) return {"\\\\.\\COM" + std::to_string(*n)};
  } else if (name == "LPT1") {
    return {"LPT1", true};
  }
  return {};
}

}  // namespace platform
