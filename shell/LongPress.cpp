#include "LongPress.h"

#include <QMouseEvent>
#include <QWidget>

namespace shell {

LongPress::LongPress(QWidget* target, std::chrono::milliseconds hold, std::function<void()> held)
    : QObject(target), target_(target), held_(std::move(held)) {
  timer_.setSingleShot(true);
  timer_.setInterval(hold);
  connect(&timer_, &QTimer::timeout, this, [this] { held_(); });
  target_->installEventFilter(this);
}

bool LongPress::eventFilter(QObject* watched, QEvent* event) {
  if (watched != target_) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) timer_.start();
      break;
    case QEvent::MouseMove:
      if (!target_->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) timer_.stop();
      break;
    case QEvent::MouseButtonRelease:
    case QEvent::Leave:
    case QEvent::Hide:
    case QEvent::WindowDeactivate: timer_.stop(); break;
    default: break;
  }
  return false;
}

}  // namespace shell
