// The floor of start-up (bench/startup.sh): the least a Qt Widgets program does to
// show a frameless 1024 x 768 window at 0,0, as the terminal's window is shown.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("empty-window"));
  window.setWindowFlags(Qt::FramelessWindowHint);
  window.setGeometry(0, 0, 1024, 768);
  window.setFixedSize(1024, 768);
  window.show();
  return application.exec();
}
