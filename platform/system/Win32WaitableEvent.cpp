#include <windows.h>

#include <system_error>

#include "platform/system/WaitableEvent.h"

namespace platform {
namespace {
HANDLE Native(WaitHandle handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

WaitableEvent::WaitableEvent() : handle_(reinterpret_cast<WaitHandle>(CreateEventA(nullptr, TRUE, FALSE, nullptr))) {
  if (handle_ == 0) throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "CreateEventA");
}

WaitableEvent::~WaitableEvent() { CloseHandle(Native(handle_)); }

WaitableEvent::Result WaitableEvent::WaitFor(std::uint32_t timeoutMs, int& error) {
  switch (WaitForSingleObject(Native(handle_), timeoutMs)) {
    case WAIT_OBJECT_0: return Result::Signaled;
    case WAIT_TIMEOUT: return Result::TimedOut;
    case WAIT_FAILED: error = static_cast<int>(GetLastError()); return Result::Failed;
    default: return Result::Failed;
  }
}

void WaitableEvent::Signal() { SetEvent(Native(handle_)); }
void WaitableEvent::Reset() { ResetEvent(Native(handle_)); }

int WaitForEither(WaitHandle first, WaitHandle second, int& error) {
  const HANDLE handles[2] = {Native(first), Native(second)};
  const DWORD rc = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  if (rc == WAIT_OBJECT_0 || rc == WAIT_OBJECT_0 + 1) return static_cast<int>(rc - WAIT_OBJECT_0);
  error = static_cast<int>(GetLastError());
  return -1;
}

}  // namespace platform
