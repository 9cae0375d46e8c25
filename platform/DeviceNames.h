#pragma once

#include <string>
#include <string_view>

namespace platform {

// The file behind a DOS device name ("COM3", "LPT1"): the symbolic link
// devices/<name> in the program's directory when there is one; else COM<n> is
// /dev/ttyS<n-1> and LPT1 is /dev/usb/lp0 when present, else /dev/lp0. Any other name
// (COM0, a negative port) gives an empty path: there is no such device.
std::string ResolveDevicePath(std::string_view name, const std::string& programDirectory);

}  // namespace platform
