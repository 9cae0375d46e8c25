#include "QtMainThreadInvoker.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <cstdio>

namespace serial {

QtMainThreadInvoker::QtMainThreadInvoker(ExceptionHandler handler)
    : handler_(std::move(handler)),
      context_(std::make_unique<QObject>()),
      quitting_(std::make_shared<std::atomic<bool>>(false)) {
  if (auto* app = QCoreApplication::instance())
    QObject::connect(app, &QCoreApplication::aboutToQuit, context_.get(), [flag = quitting_] { *flag = true; });
}

void QtMainThreadInvoker::Post(std::function<void()> call) {
  if (auto* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
}

bool QtMainThreadInvoker::ApplicationTerminating() const {
  return *quitting_ || QCoreApplication::closingDown();
}

void QtMainThreadInvoker::ShowException(const std::exception& error) {
  if (handler_) return handler_(error);
  std::fprintf(stderr, "%s\n", error.what());
}

}  // namespace serial
