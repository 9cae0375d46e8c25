#include "WebViewPlugin.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

extern "C" __attribute__((visibility("default"))) QWidget* VekCreateWebView(QWidget* parent) {
  auto* view = new QWebEngineView(parent);  // owned by parent
  auto* layout = new QVBoxLayout(parent);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view);
  return view;
}

extern "C" __attribute__((visibility("default"))) bool VekNavigate(QWidget* view, const char* url) {
  const QUrl address(QString::fromUtf8(url), QUrl::StrictMode);
  if (!address.isValid()) return false;
  static_cast<QWebEngineView*>(view)->load(address);
  return true;
}
