#pragma once

#include <QApplication>

#include "shell/MessageBoxes.h"

namespace shell {

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
