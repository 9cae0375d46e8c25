#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>

#include "platform/system/WaitableEvent.h"

// An eventfd: readable while signalled.
namespace platform {

WaitableEvent::WaitableEvent() : handle_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (handle_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

WaitableEvent::~WaitableEvent() { close(static_cast<int>(handle_)); }

WaitableEvent::Result WaitableEvent::WaitFor(std::uint32_t timeoutMs, int& error) {
  pollfd p{static_cast<int>(handle_), POLLIN, 0};
  const int timeout = timeoutMs == 0xFFFFFFFFu ? -1 : static_cast<int>(std::min<std::uint32_t>(timeoutMs, INT_MAX));
  for (;;) {
    const int rc = poll(&p, 1, timeout);
    if (rc > 0) return (p.revents & POLLIN) ? Result::Signaled : Result::Failed;
    if (rc == 0) return Result::TimedOut;
    if (errno == EINTR) continue;  // a signal is no reason to stop waiting
    error = errno;
    return Result::Failed;
  }
}

void WaitableEvent::Signal() {
  const std::uint64_t one = 1;
  // The counter only saturates after 2^64 - 2 signals; a failed write changes nothing.
  [[maybe_unused]] const ssize_t n = write(static_cast<int>(handle_), &one, sizeof one);
}

void WaitableEvent::Reset() {
  std::uint64_t value;
  [[maybe_unused]] const ssize_t n = read(static_cast<int>(handle_), &value, sizeof value);  // EAGAIN when reset
}

int WaitForEither(WaitHandle first, WaitHandle second, int& error) {
  pollfd fds[2] = {{static_cast<int>(first), POLLIN, 0}, {static_cast<int>(second), POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) >= 0) return (fds[0].revents & POLLIN) ? 0 : (fds[1].revents & POLLIN) ? 1 : -1;
    if (errno == EINTR) continue;
    error = errno;
    return -1;
  }
}

}  // namespace platform
