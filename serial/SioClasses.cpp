#include "SioClasses.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace serial {

void TSioPersistent::Assign(const TSioPersistent& Source) {
  throw EConvertError("Cannot assign a " + Source.ClassName() + " to a " + ClassName());
}

void TSioPersistent::EndUpdate() {
  if (UpdateCount > 0) --UpdateCount;
  Changed();
}

void TSioPersistent::Changed() {
  if (UpdateCount == 0 && OnChange) OnChange(this);
}

void TSioEventChars::Assign(const TSioPersistent& Source) {
  const auto* other = dynamic_cast<const TSioEventChars*>(&Source);
  if (other == nullptr) return TSioPersistent::Assign(Source);
  BeginUpdate();
  for (int i = 0; i < 4; ++i) SetChar(i + 1, other->chars_[i]);
  EndUpdate();
}

void TSioEventChars::SetChar(int Index, std::uint8_t c) {
  if (Index >= 1 && Index <= 4) chars_[Index - 1] = c;
  Changed();
}

TSioHandleObject::~TSioHandleObject() {
  if (handle_ >= 0) close(handle_);
}

WaitResult TSioHandleObject::WaitFor(std::uint32_t Timeout) {
  pollfd p{handle_, POLLIN, 0};
  const int timeout = Timeout == 0xFFFFFFFFu ? -1 : static_cast<int>(std::min<std::uint32_t>(Timeout, INT32_MAX));
  for (;;) {
    const int rc = poll(&p, 1, timeout);
    if (rc > 0) return (p.revents & POLLIN) ? WaitResult::Signaled : WaitResult::Failed;
    if (rc == 0) return WaitResult::TimedOut;
    if (errno == EINTR) continue;  // a signal is no reason to stop waiting
    LastError = errno;
    return WaitResult::Failed;
  }
}

void TSioHandleObject::Signal() {
  const std::uint64_t one = 1;
  // The counter only saturates after 2^64 - 2 signals; a failed write changes nothing.
  [[maybe_unused]] const ssize_t n = write(handle_, &one, sizeof one);
}

void TSioHandleObject::Reset() {
  std::uint64_t value;
  [[maybe_unused]] const ssize_t n = read(handle_, &value, sizeof value);  // EAGAIN when already reset
}

namespace {
int CreateEventFd() {
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  return fd;
}
}  // namespace

TSioSimpleEvent::TSioSimpleEvent() : TSioEvent(CreateEventFd()) {}

}  // namespace serial
