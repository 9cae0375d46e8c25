#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "platform/system/LocalSocket.h"

namespace modulehost {

// The module host (vek-module-host.exe) running under Wine, started by the
// supervisor with this process's environment (WINEPREFIX and the rest). Its
// standard input is the other end of Channel(); its standard output and error are
// this process's standard error, the supervisor's log. Linux only.
class HostProcess {
 public:
  // Throws std::system_error when Wine can't be started.
  explicit HostProcess(const std::string& hostExe);
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;
  // A host still running is stopped and waited for.
  ~HostProcess();

  platform::LocalStream& Channel() { return channel_; }
  pid_t Pid() const { return pid_; }
  // Stops the host at once, wherever it is (in the middle of a call, too).
  void Kill();
  // The wait status once the host has ended; nullopt while it runs.
  std::optional<int> Ended();

 private:
  platform::LocalStream channel_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// "exit status 3", "killed by signal 9": how a wait status reads in the log.
std::string DescribeEnd(int waitStatus);

}  // namespace modulehost
