#pragma once

#include <QByteArrayList>
#include <QProcess>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

namespace shell {

// The web page screen's browser. It runs as a process of its own (vek-webview in
// the program's directory), started on the first navigation, so start-up never
// loads the browser engine and a failing page can't take the terminal down. Its
// window is embedded in the page once it names it; addresses go to it one per line.
// Nothing here waits for the browser: the touch screen stays live while it starts.
class TWebBrowser {
 public:
  // `refused` hears, later, of a browser that could not be started or did not answer.
  TWebBrowser(QWidget* page, std::string programDirectory, std::function<void(const std::string&)> refused);
  ~TWebBrowser();
  TWebBrowser(const TWebBrowser&) = delete;
  TWebBrowser& operator=(const TWebBrowser&) = delete;

  // Starts loading `url` (starting the browser first when it isn't running); an
  // empty result means the browser took it or will take it once it runs, otherwise
  // it is the reason it could not.
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

inline constexpr const char* kWebBrowserProgram = "vek-webview";

}  // namespace shell
