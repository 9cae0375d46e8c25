#include "DeviceNames.h"

#include <filesystem>

#include "IntegerText.h"

namespace platform {

std::string ResolveDevicePath(std::string_view name, const std::string& programDirectory) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path link = fs::path(programDirectory) / "devices" / std::string(name);
  if (fs::is_symlink(link, ec)) return link.string();

  if (name.starts_with("COM")) {
    const auto n = ParseIntegerText(name.substr(3));
    if (n && *n >= 1) return "/dev/ttyS" + std::to_string(static_cast<long long>(*n) - 1);
  } else if (name == "LPT1") {
    return fs::exists("/dev/usb/lp0", ec) ? "/dev/usb/lp0" : "/dev/lp0";
  }
  return {};
}

}  // namespace platform
