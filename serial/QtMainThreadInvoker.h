#pragma once

#include <QObject>
#include <atomic>
#include <memory>

#include "serial/MainThreadInvoker.h"

namespace serial {

// The main thread is the Qt application's: calls are queued into its event loop.
// Create it on the main thread once the application object exists.
class QtMainThreadInvoker final : public MainThreadInvoker {
 public:
  using ExceptionHandler = std::function<void(const std::exception&)>;
  // Without a handler, exceptions are written to standard error.
  explicit QtMainThreadInvoker(ExceptionHandler handler = {});

  void Post(std::function<void()> call) override;
  bool ApplicationTerminating() const override;
  void ShowException(const std::exception& error) override;

 private:
  ExceptionHandler handler_;
  std::unique_ptr<QObject> context_;  // ends the quit connection with the invoker
  std::shared_ptr<std::atomic<bool>> quitting_;
};

}  // namespace serial
