#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

namespace shell {

// The web page screen's browser, shown inside the page. On Linux it runs as a
// process of its own (vek-webview in the program's directory), started on the first
// navigation, so start-up never loads the browser engine and a failing page can't
// take the terminal down; its window is embedded in the page once it names it. On
// Windows it is the web browser control the system provides to programs, created on
// the first navigation in a native child window of the page and kept to the kiosk
// (Win32BrowserHost.h); a page it can't show (no control, a failed navigation, none
// shown within seconds) is said in the page itself, in the control's place. Nothing
// here waits for the browser: the touch screen stays live while it starts.
class TWebBrowser {
 public:
  // `refused` hears, later, of a browser process that could not be started or did
  // not answer (Linux; the control's later failures are said in the page).
  TWebBrowser(QWidget* page, std::string programDirectory, std::function<void(const std::string&)> refused);
  ~TWebBrowser();
  TWebBrowser(const TWebBrowser&) = delete;
  TWebBrowser& operator=(const TWebBrowser&) = delete;

  // Starts loading `url`, also while an earlier page is on its way (starting the
  // browser first when it isn't running); an empty result means the browser took
  // it or will take it once it runs, otherwise it is the reason it could not.
  std::string Navigate(const std::string& url);
  // The browser's view in the page, once there is one.
  QWidget* View() const;

 private:
  class Browser;  // one per system
  std::unique_ptr<Browser> browser_;
};

inline constexpr const char* kWebBrowserProgram = "vek-webview";

}  // namespace shell
