#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "serial/MainThreadInvoker.h"

namespace testsupport {

// The main thread of a test: calls posted by the serial event thread queue up here
// and run when the test pumps them, on the test's own thread.
class QueueInvoker : public serial::MainThreadInvoker {
 public:
  void Post(std::function<void()> call) override {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(call));
    }
    posted_.notify_all();
  }
  bool ApplicationTerminating() const override { return Terminating; }
  void ShowException(const std::exception& error) override { Exceptions.push_back(error.what()); }

  // Runs posted calls until `done` holds; false when `timeout` passed first.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      std::function<void()> call;
      {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_until(lock, deadline, [&] { return !queue_.empty(); })) break;
        call = std::move(queue_.front());
        queue_.pop_front();
      }
      call();
    }
    return done();
  }
  // Waits, running nothing, until `count` calls are queued.
  bool WaitPosted(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock lock(mutex_);
    return posted_.wait_for(lock, timeout, [&] { return queue_.size() >= count; });
  }
  // Runs whatever is posted during `period`.
  void RunFor(std::chrono::milliseconds period) {
    RunUntil([] { return false; }, period);
  }

  std::atomic<bool> Terminating{false};
  std::vector<std::string> Exceptions;  // test thread only

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
};

}  // namespace testsupport
