#include "Application.h"

namespace shell {

void KeepDevicePixels() {
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  qputenv("QT_FONT_DPI", "96");
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    Errors->ShowError(error.what());
  } catch (...) {
    Errors->ShowError("Unknown error");
  }
  return false;
}

}  // namespace shell
