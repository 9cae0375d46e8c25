#include "KeyStrokes.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace shell {
namespace {

// Carries the keystroke through the event queue to the field that had the focus
// when the key was tapped: a window that stalled may handle a touch on another
// field before the keystrokes queued ahead of it, and a digit must not change
// fields on the way. Without a focus then (before the window is active), the
// target is chosen on arrival.
class KeyStrokeEvent : public QEvent {
 public:
  KeyStrokeEvent(QWidget* window, Qt::Key key, QString text, Qt::KeyboardModifiers modifiers)
      : QEvent(Type()), window_(window), tapped_(FocusOf(window)), key_(key), text_(std::move(text)),
        modifiers_(modifiers) {}
  static QEvent::Type Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  void Deliver() const {
    QObject* target = tapped_ ? tapped_.data() : FocusOf(window_);
    if (target == nullptr) return;
    QKeyEvent press(QEvent::KeyPress, key_, modifiers_, text_);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key_, modifiers_, text_);
    QApplication::sendEvent(target, &release);
  }

 private:
  static QObject* FocusOf(QWidget* window) {
    QObject* focus = QApplication::focusObject();
    if (focus == nullptr && window != nullptr) focus = window->focusWidget();
    return focus;
  }

  QPointer<QWidget> window_;
  QPointer<QObject> tapped_;
  Qt::Key key_;
  QString text_;
  Qt::KeyboardModifiers modifiers_;
};

class KeyStrokeDispatcher : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != KeyStrokeEvent::Type()) return QObject::event(e);
    static_cast<KeyStrokeEvent*>(e)->Deliver();
    return true;
  }
};

KeyStrokeDispatcher& Dispatcher() {
  static KeyStrokeDispatcher* dispatcher = new KeyStrokeDispatcher;  // lives as long as the program
  return *dispatcher;
}

}  // namespace

void PostKeyStroke(QWidget* window, Qt::Key key, const QString& text, Qt::KeyboardModifiers modifiers) {
  QCoreApplication::postEvent(&Dispatcher(), new KeyStrokeEvent(window, key, text, modifiers));
}

void DeliverQueuedKeyStrokes() { QCoreApplication::sendPostedEvents(&Dispatcher(), KeyStrokeEvent::Type()); }

}  // namespace shell
