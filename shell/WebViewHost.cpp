// vek-webview WIDTH HEIGHT: the terminal's browser. Prints the id of its window on
// the first line of its output for the terminal to embed, then loads each address
// it reads, one per line, and ends when its input ends (the terminal has gone).
#include <QApplication>
#include <QSocketNotifier>
#include <QUrl>
#include <QWebEngineView>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);  // the engine needs it from the start
  QApplication app(argc, argv);
  const int width = argc > 2 ? std::atoi(argv[1]) : 1016;
  const int height = argc > 2 ? std::atoi(argv[2]) : 678;

  QWebEngineView view;
  view.setWindowFlags(Qt::FramelessWindowHint);
  view.resize(width, height);
  // Shown off-screen first: the terminal then embeds the window and places it.
  view.move(-10 * width, -10 * height);
  view.show();
  // The view settles on its native window once a page is up: announce that one.
  QObject::connect(&view, &QWebEngineView::loadFinished, &view, [&view, announced = false]() mutable {
    if (announced) return;
    announced = true;
    std::printf("%llu\n", static_cast<unsigned long long>(view.winId()));
    std::fflush(stdout);
  });
  view.load(QUrl(QStringLiteral("about:blank")));

  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QByteArray pending;
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buffer[4096];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
      app.quit();
      return;
    }
    pending.append(buffer, n);
    for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
      const QUrl url(QString::fromUtf8(pending.left(end)).trimmed(), QUrl::StrictMode);
      if (url.isValid()) view.load(url);
    }
  });
  return app.exec();
}
