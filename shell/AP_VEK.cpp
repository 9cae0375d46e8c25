// The program: the application, the main window, the event loop.
#include "Application.h"
#include "platform/system/CodeLocation.h"
#include "StartupPreparation.h"
#include "uPlenor.h"
#ifdef _WIN32
#include "SessionWindow.h"
#endif

int main(int argc, char** argv) {
  platform::RestrictLibrarySearch();
#ifdef _WIN32
  const shell::SessionWindow session;
  if (!session.First()) return 0;
#endif
  shell::KeepDevicePixels();  // before any thread that might read the environment
  // Next, so that it runs while the application object connects to the display.
  shell::StartupPreparation preparation(shell::kFirstScreenPictures);
  shell::TApplication application(argc, argv);
  application.setApplicationName(QString::fromLatin1(shell::kProgramTitle));
  shell::TfmMainEnvironment environment = shell::DefaultEnvironment();
  environment.Prepared = &preparation;
  shell::TfmMain fmMain(std::move(environment));
  fmMain.show();
  application.exec();
  return 0;
}
