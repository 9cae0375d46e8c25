#pragma once

// The web page screen's browser lives in a library of its own, loaded on the
// first press of the web page button, so start-up never maps the browser engine.
class QWidget;

extern "C" {
// A browser view filling `parent`.
QWidget* VekCreateWebView(QWidget* parent);
// Starts loading `url` (UTF-8); false when the view refused the address.
bool VekNavigate(QWidget* view, const char* url);
}

inline constexpr const char* kWebViewLibrary = "libvek_webview.so";
