#pragma once

#include <QString>
#include <Qt>

namespace shell {

// Queues a key press and release as if typed: they reach whichever widget has the
// focus when the event loop gets to them, after the current handler has returned.
void PostKeyStroke(Qt::Key key, const QString& text = {}, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

}  // namespace shell
