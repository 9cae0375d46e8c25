// The program: the application, the main window, the event loop.
#include "Application.h"
#include "uPlenor.h"

int main(int argc, char** argv) {
  // The browser engine is loaded later, from a library; it needs this from the start.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  shell::TApplication application(argc, argv);
  application.setApplicationName(QString::fromLatin1(shell::kProgramTitle));
  shell::TfmMain fmMain;
  fmMain.show();
  application.exec();
  return 0;
}
