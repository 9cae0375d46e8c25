#pragma once

#include <string>
#include <string_view>

namespace platform {

// The file behind a DOS device name ("COM3", "LPT1").
struct ResolvedDevice {
  std::string Path;  // empty: there is no such device
  // Whether a plain file may be created at Path when nothing is there: only where
  // the program folder's own link names one outside /dev (the demo and the tests
  // print into files that way). Nothing is ever created under /dev.
  bool MayCreate = false;
};

// The symbolic link devices/<name> in the program's directory when there is one;
// else COM<n> is /dev/ttyS<n-1> and LPT1 is /dev/usb/lp0 when present, else
// /dev/lp0. Any other name (COM0, a negative port) has no device.
ResolvedDevice ResolveDevice(std::string_view name, const std::string& programDirectory);

}  // namespace platform
