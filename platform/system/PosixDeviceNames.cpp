#include "platform/system/DeviceNames.h"

#include <filesystem>

#include "platform/text/IntegerText.h"

namespace platform {
namespace {

bool InDev(const std::filesystem::path& absolute) {
  const std::filesystem::path relative = absolute.lexically_relative("/dev");
  return !relative.empty() && *relative.begin() != "..";
}

// Where a chain of links ends, also when nothing is there yet.
std::filesystem::path LinkTarget(std::filesystem::path path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(path, ec); ++hops) {
    const fs::path next = fs::read_symlink(path, ec);
    if (ec) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  const fs::path canonical = fs::weakly_canonical(path, ec);
  return ec ? path.lexically_normal() : canonical;
}

}  // namespace

ResolvedDevice ResolveDevice(std::string_view name, const std::string& programDirectory) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path link = fs::path(programDirectory) / "devices" / std::string(name);
  if (fs::is_symlink(link, ec)) {
    return {link.string(), !InDev(LinkTarget(link))};
  }

  if (name.starts_with("COM")) {
    const auto n = ParseIntegerText(name.substr(3));
    if (n && *n >= 1) return {"/dev/ttyS" + std::to_string(static_cast<long long>(*n) - 1)};
  } else if (name == "LPT1") {
    return {fs::exists("/dev/usb/lp0", ec) ? "/dev/usb/lp0" : "/dev/lp0"};
  }
  return {};
}

}  // namespace platform
