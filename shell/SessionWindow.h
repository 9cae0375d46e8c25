#pragma once

#include <memory>

namespace shell {

// Windows only: the counter's window in the user's log-on session, settled before
// the application object exists.
//  - One per session. The log-on start runs for every user who logs on, and the
//    Start-menu entry is at hand: a second window would make module calls and
//    printer writes of its own behind the first. The first start holds a mutex named
//    in the session's namespace for as long as it runs; a later one brings the
//    first's window forward and ends.
//  - Never ghosted. The module call blocks the main thread for as long as a payment
//    takes; after 5 s Windows would put its "not responding" copy in the window's
//    place, and a touch there offers to end the program in the middle of a payment.
class SessionWindow {
 public:
  SessionWindow();
  ~SessionWindow();
  SessionWindow(const SessionWindow&) = delete;
  SessionWindow& operator=(const SessionWindow&) = delete;

  // False when the session has its counter window already; it has been brought
  // forward, and this start should end.
  bool First() const { return first_; }

 private:
  struct CloseHandle {
    void operator()(void* handle) const;
  };
  std::unique_ptr<void, CloseHandle> mutex_;
  bool first_ = true;
};

}  // namespace shell
