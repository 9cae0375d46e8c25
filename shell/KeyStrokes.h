#pragma once

#include <QString>
#include <Qt>

class QWidget;

namespace shell {

// Queues a key press and release as if typed: they reach whichever widget has the
// focus when the event loop gets to them, after the current handler has returned.
// Until the window system has activated `window` (on a display without a window
// manager the touch that activates it is the touch that typed the key) the
// application has no focus widget; the key then goes to the widget that holds the
// focus within `window`, as a keyboard would once the window is active.
void PostKeyStroke(QWidget* window, Qt::Key key, const QString& text = {},
                   Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Delivers the keystrokes queued so far, now, in the order posted. A window that
// stalled handles the taps made meanwhile in one go, the keys' queued keystrokes
// after all of them: whatever a later tap does (a command reading its fields, the
// "00" key, a change of screen) must first find the earlier digits in place.
void DeliverQueuedKeyStrokes();

}  // namespace shell
