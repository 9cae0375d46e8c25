#pragma once

#include <QProcess>
#include <QWidget>
#include <memory>
#include <string>

namespace shell {

// The web page screen's browser. It runs as a process of its own (vek-webview in
// the program's directory), started on the first navigation, so start-up never
// loads the browser engine and a failing page can't take the terminal down. Its
// window is embedded in the page; addresses go to it one per line.
class TWebBrowser {
 public:
  TWebBrowser(QWidget* page, std::string programDirectory);
  ~TWebBrowser();
  TWebBrowser(const TWebBrowser&) = delete;
  TWebBrowser& operator=(const TWebBrowser&) = delete;

  // Starts loading `url`; an empty result means the browser took it, otherwise
  // it is the reason it could not.
  std::string Navigate(const std::string& url);
  QWidget* View() const { return view_; }

 private:
  std::string Start();

  QWidget* page_;
  std::string programDirectory_;
  QProcess process_;
  QWidget* view_ = nullptr;  // the embedded browser window, owned by the page
};

inline constexpr const char* kWebBrowserProgram = "vek-webview";

}  // namespace shell
