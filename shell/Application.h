#pragma once

#include <QApplication>

#include "shell/MessageBoxes.h"

namespace shell {

// The window's layout, pictures and fonts are in device pixels (a 1024x768 touch
// screen), at any scaling the system's display settings ask for: Qt's scaling off,
// and points and the style's metrics taken at 96 dpi, as at 100 %. Called before the
// application object exists (Qt reads both once, from the environment).
void KeepDevicePixels();

// The application object. Its notify() is the top-level error handler: an error
// that no handler caught ends the handler where it stood, is shown in the standard
// error box, and the event loop goes on.
class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
  // Where the standard error box goes; the real modal box until a test replaces it.
  MessageBoxes* Errors = &modal_;

 private:
  ModalMessageBoxes modal_;
};

}  // namespace shell
