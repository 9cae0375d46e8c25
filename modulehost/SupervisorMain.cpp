// vek-module-host [--socket PATH] [--host PATH] [--time-limit SECONDS]: the
// supervisor of the payment module host (see Supervisor.h).
#include <cstdio>
#include <exception>
#include <string>

#include "Supervisor.h"
#include "platform/system/ProgramDirectory.h"

namespace {

constexpr const char* kUsage =
    "usage: vek-module-host [--socket PATH] [--host PATH] [--time-limit SECONDS]\n"
    "\n"
    "Keeps vek-module-host.exe running under Wine (WINEPREFIX and the rest of the\n"
    "environment are passed on) and serves the terminal's payment module calls on a\n"
    "socket that only this user and root can open.\n"
    "\n"
    "  --socket PATH          the socket (default /run/vek-terminal/module.sock)\n"
    "  --host PATH            the host program (default vek-module-host.exe beside this one)\n"
    "  --time-limit SECONDS   a call without an answer by then ends with the outcome\n"
    "                         unknown and the host is started again (1 to 120, default 120)\n";

int Usage(int status) {
  std::fputs(kUsage, status == 0 ? stdout : stderr);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  modulehost::SupervisorOptions options{modulehost::kDefaultSocketPath,
                                        platform::ProgramDirectory() + "vek-module-host.exe"};
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") return Usage(0);
    if (i + 1 >= argc) return Usage(2);
    const std::string value = argv[++i];
    if (option == "--socket") {
      options.SocketPath = value;
    } else if (option == "--host") {
      options.HostExe = value;
    } else if (option == "--time-limit") {
      const bool digits = !value.empty() && value.size() <= 3 && value.find_first_not_of("0123456789") == std::string::npos;
      const int seconds = digits ? std::stoi(value) : 0;
      if (seconds < 1 || seconds > modulehost::kCallTimeLimitSeconds) return Usage(2);
      options.CallTimeLimit = std::chrono::seconds(seconds);
    } else {
      return Usage(2);
    }
  }
  std::setvbuf(stderr, nullptr, _IOLBF, 0);
  try {
    modulehost::Supervisor supervisor(options);
    supervisor.Run();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vek-module-host: %s\n", error.what());
    return 1;
  }
  return 0;
}
