#include "WebBrowser.h"

namespace shell {

// Placeholder until the control is hosted: every navigation is refused.
class TWebBrowser::Browser {
 public:
  QWidget* View() const { return nullptr; }
};

TWebBrowser::TWebBrowser(QWidget*, std::string, std::function<void(const std::string&)>)
    : browser_(std::make_unique<Browser>()) {}
TWebBrowser::~TWebBrowser() = default;
std::string TWebBrowser::Navigate(const std::string& url) { return "The web browser control is not there for " + url; }
QWidget* TWebBrowser::View() const { return browser_->View(); }

}  // namespace shell
