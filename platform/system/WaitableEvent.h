#pragma once

#include <cstdint>

namespace platform {

// The system's handle of a waitable object: a descriptor on Linux, a HANDLE on
// Windows.
using WaitHandle = std::intptr_t;

// A manual-reset event, created unsignalled: it stays signalled until Reset. A
// serial device's event wait also ends when it is signalled.
class WaitableEvent {
 public:
  enum class Result { Signaled, TimedOut, Failed };

  WaitableEvent();
  ~WaitableEvent();
  WaitableEvent(const WaitableEvent&) = delete;
  WaitableEvent& operator=(const WaitableEvent&) = delete;

  // `timeoutMs` 0xFFFFFFFF waits without limit; a failed wait sets `error`.
  Result WaitFor(std::uint32_t timeoutMs, int& error);
  void Signal();
  void Reset();
  WaitHandle Handle() const { return handle_; }

 private:
  WaitHandle handle_;
};

// Waits without limit until `first` or `second` is signalled: 0 or 1, or -1 with
// `error` set when the wait failed.
int WaitForEither(WaitHandle first, WaitHandle second, int& error);

}  // namespace platform
