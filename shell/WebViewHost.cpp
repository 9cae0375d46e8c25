// vek-webview WIDTH HEIGHT: the terminal's browser. Prints the id of its window on
// the first line of its output for the terminal to embed, then loads each address
// it reads, one per line, and ends when its input ends (the terminal has gone).
#include <QApplication>
#include <QUrl>
#include <QWebEngineView>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

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

  // Addresses arrive on standard input, read on a thread of its own (a console or
  // pipe can't be watched by the event loop on every system); the end of the input
  // ends the browser.
  std::thread input([&app, &view] {
    std::string line;
    while (std::getline(std::cin, line)) {
      const QUrl url(QString::fromStdString(line).trimmed(), QUrl::StrictMode);
      if (url.isValid()) QMetaObject::invokeMethod(&view, [&view, url] { view.load(url); });
    }
    QMetaObject::invokeMethod(&app, &QApplication::quit);
  });
  input.detach();  // it may still be blocked in the read when the program ends
  return app.exec();
}
