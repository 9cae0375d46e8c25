#pragma once

#include <exception>
#include <functional>

namespace serial {

// Runs work on the main (window) thread, for the serial event thread's hand-off.
class MainThreadInvoker {
 public:
  virtual ~MainThreadInvoker() = default;
  // Queues `call` to run on the main thread, after the calls queued before it.
  virtual void Post(std::function<void()> call) = 0;
  // True once the application's main loop has been told to end.
  virtual bool ApplicationTerminating() const = 0;
  // The application's standard handling of an exception that escaped a handler.
  virtual void ShowException(const std::exception& error) = 0;
};

// For a program without an event loop whose port monitors no events, so that
// nothing is ever handed over.
class NoMainThread final : public MainThreadInvoker {
 public:
  void Post(std::function<void()>) override {}
  bool ApplicationTerminating() const override { return false; }
  void ShowException(const std::exception&) override {}
};

}  // namespace serial
