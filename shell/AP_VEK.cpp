// The program: the application, the main window, the event loop.
#include "Application.h"
#include "uPlenor.h"

int main(int argc, char** argv) {
  shell::TApplication application(argc, argv);
  application.setApplicationName(QString::fromLatin1(shell::kProgramTitle));
  shell::TfmMain fmMain;
  fmMain.show();
  application.exec();
  return 0;
}
