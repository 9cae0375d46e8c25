#include "BlockedInput.h"

#include <QEvent>
#include <QGuiApplication>

namespace shell {
namespace {

class InputDropper final : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TouchCancel:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
      case QEvent::TabletMove:
      case QEvent::ContextMenu: return true;
      default: return false;
    }
  }
};

}  // namespace

void DropInputReceivedMeanwhile() {
  if (QGuiApplication::instance() == nullptr) return;
  InputDropper dropper;
  QGuiApplication::instance()->installEventFilter(&dropper);
  // Handles what is queued, asks the window system for a round trip so that every
  // event it holds for us is here, and handles that too.
  QGuiApplication::sync();
  QGuiApplication::instance()->removeEventFilter(&dropper);
}

std::optional<payment::ModuleAnswer> ScreenBlockingModule::Call(std::string_view request) {
  std::optional<payment::ModuleAnswer> answer = module_->Call(request);
  DropInputReceivedMeanwhile();
  return answer;
}

}  // namespace shell
