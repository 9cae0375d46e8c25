#include "WebBrowser.h"

#include <QWindow>

namespace shell {

TWebBrowser::TWebBrowser(QWidget* page, std::string programDirectory)
    : page_(page), programDirectory_(std::move(programDirectory)) {}

TWebBrowser::~TWebBrowser() {
  delete view_;
  if (process_.state() == QProcess::NotRunning) return;
  process_.closeWriteChannel();  // the browser ends at the end of its input
  if (!process_.waitForFinished(2000)) process_.kill();
  process_.waitForFinished(1000);
}

std::string TWebBrowser::Start() {
  const QString program = QString::fromStdString(programDirectory_ + kWebBrowserProgram);
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start(program, {QString::number(page_->width()), QString::number(page_->height())});
  if (!process_.waitForStarted(5000)) return "The web browser could not be started: " + process_.errorString().toStdString();
  // The browser's first line names its window.
  while (!process_.canReadLine()) {
    if (!process_.waitForReadyRead(15000)) {
      process_.kill();
      return "The web browser did not answer";
    }
  }
  bool ok = false;
  const WId id = process_.readLine().trimmed().toULongLong(&ok);
  QWindow* window = ok ? QWindow::fromWinId(id) : nullptr;
  if (!window) {
    process_.kill();
    return "The web browser gave no window";
  }
  view_ = QWidget::createWindowContainer(window, page_);
  view_->setObjectName("WEB");
  view_->setGeometry(0, 0, page_->width(), page_->height());
  view_->show();
  // Embedded now: place it where the container lies in the terminal's window.
  window->setGeometry(QRect(view_->mapTo(view_->window(), QPoint(0, 0)), view_->size()));
  return {};
}

std::string TWebBrowser::Navigate(const std::string& url) {
  if (process_.state() == QProcess::NotRunning) {
    delete view_;  // a browser that ended is started afresh
    view_ = nullptr;
    if (std::string error = Start(); !error.empty()) return error;
  }
  const QByteArray line = QByteArray::fromStdString(url) + '\n';
  if (process_.write(line) != line.size()) return "The web browser refused the address " + url;
  return {};
}

}  // namespace shell
