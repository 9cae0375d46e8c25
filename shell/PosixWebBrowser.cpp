#include "WebBrowser.h"

#include <QByteArrayList>
#include <QProcess>
#include <QTimer>
#include <QWindow>

#include "platform/text/Cp949.h"

namespace shell {

namespace {
// How long a started browser may take to name its window (the engine's first start
// on a slow machine takes seconds).
constexpr int kAnswerMilliseconds = 15000;
}  // namespace

// The browser process and its embedded window.
class TWebBrowser::Browser {
 public:
  Browser(QWidget* page, std::string programDirectory, std::function<void(const std::string&)> refused);
  ~Browser();
  std::string Navigate(const std::string& url);
  QWidget* View() const { return view_; }

 private:
  void Started();
  void ReadWindow();
  void Refuse(const std::string& reason);

  QWidget* page_;
  std::string programDirectory_;
  std::function<void(const std::string&)> refused_;
  QProcess process_;
  QTimer answerTimer_;
  QByteArrayList waiting_;   // addresses given while the browser starts
  QWidget* view_ = nullptr;  // the embedded browser window, owned by the page
};

TWebBrowser::Browser::Browser(QWidget* page, std::string programDirectory,
                              std::function<void(const std::string&)> refused)
    : page_(page), programDirectory_(std::move(programDirectory)), refused_(std::move(refused)) {
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  answerTimer_.setSingleShot(true);
  QObject::connect(&process_, &QProcess::started, &process_, [this] { Started(); });
  QObject::connect(&process_, &QProcess::readyReadStandardOutput, &process_, [this] { ReadWindow(); });
  QObject::connect(&process_, &QProcess::errorOccurred, &process_, [this](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    Refuse("The web browser could not be started: " + platform::Utf8ToCp949(process_.errorString().toStdString()));
  });
  QObject::connect(&answerTimer_, &QTimer::timeout, &process_, [this] {
    process_.kill();
    Refuse("The web browser did not answer");
  });
}

TWebBrowser::Browser::~Browser() {
  delete view_;
  if (process_.state() == QProcess::NotRunning) return;
  process_.closeWriteChannel();  // the browser ends at the end of its input
  if (!process_.waitForFinished(2000)) process_.kill();
  process_.waitForFinished(1000);
}

std::string TWebBrowser::Browser::Navigate(const std::string& url) {
  const QByteArray line = QByteArray::fromStdString(url) + '\n';
  if (process_.state() == QProcess::Running) {
    if (process_.write(line) != line.size()) return "The web browser refused the address " + url;
    return {};
  }
  waiting_.append(line);
  if (process_.state() == QProcess::NotRunning) {
    delete view_;  // a browser that ended is started afresh
    view_ = nullptr;
    process_.start(QString::fromStdString(programDirectory_ + kWebBrowserProgram),
                   {QString::number(page_->width()), QString::number(page_->height())});
  }
  return {};
}

void TWebBrowser::Browser::Started() {
  for (const QByteArray& line : waiting_) process_.write(line);
  waiting_.clear();
  answerTimer_.start(kAnswerMilliseconds);
}

void TWebBrowser::Browser::ReadWindow() {
  // The browser's first line names its window; it says nothing after that.
  if (view_ != nullptr || !process_.canReadLine()) return;
  answerTimer_.stop();
  bool ok = false;
  const WId id = process_.readLine().trimmed().toULongLong(&ok);
  QWindow* window = ok ? QWindow::fromWinId(id) : nullptr;
  if (!window) {
    process_.kill();
    return Refuse("The web browser gave no window");
  }
  view_ = QWidget::createWindowContainer(window, page_);
  view_->setObjectName("WEB");
  view_->setGeometry(0, 0, page_->width(), page_->height());
  view_->show();
  // Embedded now: place it where the container lies in the terminal's window.
  window->setGeometry(QRect(view_->mapTo(view_->window(), QPoint(0, 0)), view_->size()));
}

void TWebBrowser::Browser::Refuse(const std::string& reason) {
  waiting_.clear();
  if (refused_) refused_(reason);
}

TWebBrowser::TWebBrowser(QWidget* page, std::string programDirectory,
                         std::function<void(const std::string&)> refused)
    : browser_(std::make_unique<Browser>(page, std::move(programDirectory), std::move(refused))) {}

TWebBrowser::~TWebBrowser() = default;

std::string TWebBrowser::Navigate(const std::string& url) { return browser_->Navigate(url); }

QWidget* TWebBrowser::View() const { return browser_->View(); }

}  // namespace shell
