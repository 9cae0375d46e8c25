#include "HostProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <system_error>

extern char** environ;

namespace modulehost {
namespace {

// posix_spawn's attributes and file actions, released on every path.
struct SpawnSetup {
  SpawnSetup() {
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_init(&actions);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_t actions;
};

}  // namespace

HostProcess::HostProcess(const std::string& hostExe) : channel_(-1) {
  auto [ours, hosts] = platform::LocalStream::Pair();
  SpawnSetup setup;
  posix_spawn_file_actions_adddup2(&setup.actions, hosts.Descriptor(), 0);
  posix_spawn_file_actions_adddup2(&setup.actions, 2, 1);
  // The supervisor takes its signals through a descriptor; the host gets the
  // defaults back, and a process group of its own, so a Ctrl-C meant for the
  // supervisor doesn't end a call halfway.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGCHLD, SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&setup.attributes, &none);
  posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
  posix_spawnattr_setpgroup(&setup.attributes, 0);
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  std::string wine = "wine", exe = hostExe;
  char* argv[] = {wine.data(), exe.data(), nullptr};
  const int error = posix_spawnp(&pid_, "wine", &setup.actions, &setup.attributes, argv, environ);
  if (error != 0) throw std::system_error(error, std::generic_category(), "starting wine " + hostExe);
  channel_ = std::move(ours);
}

HostProcess::~HostProcess() {
  if (status_) return;
  Kill();
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

void HostProcess::Kill() {
  if (!status_) kill(pid_, SIGKILL);
}

std::optional<int> HostProcess::Ended() {
  if (status_) return status_;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
  return status_;
}

std::string DescribeEnd(int waitStatus) {
  if (WIFSIGNALED(waitStatus)) return "killed by signal " + std::to_string(WTERMSIG(waitStatus));
  return "exit status " + std::to_string(WEXITSTATUS(waitStatus));
}

}  // namespace modulehost
