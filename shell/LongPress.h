#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

class QWidget;

namespace shell {

// A press held on a widget for a while, for what a passing tap must never start:
// `held` runs once the press has lasted `hold`, the button still down and the
// pointer still on the widget. A release, a move off the widget or the widget
// hidden (another screen, a box) before then cancels it. Input the window drops
// (the screen blocked for a module call) never reaches it.
class LongPress final : public QObject {
 public:
  LongPress(QWidget* target, std::chrono::milliseconds hold, std::function<void()> held);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* target_;
  QTimer timer_;
  std::function<void()> held_;
};

}  // namespace shell
