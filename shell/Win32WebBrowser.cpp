#include "WebBrowser.h"

// clang-format off
#include <windows.h>
#include <ole2.h>
#include <oleidl.h>
#include <ocidl.h>
#include <exdisp.h>
#include <wrl/client.h>
// clang-format on

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <memory>

#include "PageLoad.h"
#include "Win32BrowserHost.h"
#include "platform/text/Cp949.h"

namespace shell {

using Microsoft::WRL::ComPtr;

namespace {

// How long a page may take to show before the page says it can't be shown: the
// service's page is on this machine, so a working control shows it at once.
constexpr int kShowMilliseconds = 8000;

std::string Korean(const char* utf8) { return platform::Utf8ToCp949(utf8); }

std::string Code(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

std::wstring Wide(const std::string& cp949) {
  return QString::fromStdString(platform::Cp949ToUtf8(cp949)).toStdWString();
}

// Whether two interface pointers belong to one object (COM's identity rule).
bool SameObject(IUnknown* a, IUnknown* b) {
  if (a == nullptr || b == nullptr) return false;
  ComPtr<IUnknown> identityA, identityB;
  return SUCCEEDED(a->QueryInterface(IID_PPV_ARGS(&identityA))) &&
         SUCCEEDED(b->QueryInterface(IID_PPV_ARGS(&identityB))) && identityA == identityB;
}

template <class T>
ComPtr<T> Owned(T* fresh) {
  ComPtr<T> pointer;
  pointer.Attach(fresh);
  return pointer;
}

// OLE on the main thread, counted: Qt's Windows platform has started it already,
// and each start is matched by one end.
class TOleUse {
 public:
  TOleUse() : result_(OleInitialize(nullptr)) {}
  ~TOleUse() {
    if (SUCCEEDED(result_)) OleUninitialize();
  }
  TOleUse(const TOleUse&) = delete;
  TOleUse& operator=(const TOleUse&) = delete;
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
};

// The page's native child window the control lives in; it keeps the control's
// rectangles on its own.
class THostArea final : public QWidget {
 public:
  explicit THostArea(QWidget* page) : QWidget(page) {
    setAttribute(Qt::WA_NativeWindow);
    setObjectName("WEB");
  }
  void Place(IOleInPlaceObject* control) { control_ = control; }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    if (control_ == nullptr) return;
    RECT area;
    GetClientRect(reinterpret_cast<HWND>(winId()), &area);
    control_->SetObjectRects(&area, &area);
  }

 private:
  IOleInPlaceObject* control_ = nullptr;  // the browser's, while it is in place
};

}  // namespace

// The web browser control in place in the page, or the page's note that it can't
// show the web page.
class TWebBrowser::Browser final : private TBrowserListener {
 public:
  explicit Browser(QWidget* page);
  ~Browser();
  std::string Navigate(const std::string& url);
  QWidget* View() const { return area_; }

 private:
  std::string Create();
  void Close();
  std::string Load(const std::wstring& address, const std::string& named);
  std::string Unable(const std::string& reason);
  void UnableLater(const std::string& reason);
  bool TopFrame(IDispatch* frame) const { return SameObject(frame, browser_.Get()); }
  void Started(IDispatch* frame) override;
  void Shown(IDispatch* frame) override;
  void Failed(IDispatch* frame, long status) override;
  void NewWindowRefused(const std::wstring& address) override;

  TOleUse ole_;
  QWidget* page_;
  THostArea* area_;  // owned by the page
  QLabel* notice_;   // owned by the area
  QTimer showTimer_;
  QObject pending_;  // context of the deferred calls, so none outlives the browser
  TPageLoad load_;
  ComPtr<IOleObject> control_;
  ComPtr<IOleInPlaceObject> inPlace_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<IConnectionPoint> events_;
  ComPtr<TBrowserEvents> sink_;
  DWORD cookie_ = 0;
  bool failing_ = false;  // the control reported a failure; its teardown is due
};

TWebBrowser::Browser::Browser(QWidget* page) : page_(page), area_(new THostArea(page)) {
  auto* pageLayout = new QVBoxLayout(page_);
  pageLayout->setContentsMargins(0, 0, 0, 0);
  pageLayout->addWidget(area_);
  notice_ = new QLabel(area_);
  notice_->setObjectName("WEBNOTICE");
  notice_->setAlignment(Qt::AlignCenter);
  notice_->setWordWrap(true);
  notice_->setStyleSheet(QStringLiteral("QLabel { font-size: 16px; }"));  // as the message boxes' texts
  auto* areaLayout = new QVBoxLayout(area_);
  areaLayout->addWidget(notice_);
  notice_->hide();
  area_->show();
  showTimer_.setSingleShot(true);
  QObject::connect(&showTimer_, &QTimer::timeout, &pending_, [this] {
    if (load_.TimedOut())
      Unable(Korean("페이지가 ") + std::to_string(kShowMilliseconds / 1000) + Korean("초 안에 열리지 않았습니다"));
  });
}

TWebBrowser::Browser::~Browser() {
  Close();
  delete area_;
}

std::string TWebBrowser::Browser::Create() {
  if (FAILED(ole_.Result()))
    return Korean("이 스레드에서 OLE를 쓸 수 없습니다 (") + Code(ole_.Result()) + ")";
  // Read by the control when it first loads; without it, pages render as in a
  // browser of long ago. A failure leaves that, and the page still shows.
  UseEdgeDocumentMode();
  HRESULT result = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&control_));
  if (FAILED(result)) return Korean("웹 브라우저 컨트롤을 만들 수 없습니다 (") + Code(result) + ")";
  const HWND window = reinterpret_cast<HWND>(area_->winId());
  const ComPtr<TBrowserSite> site = Owned(new TBrowserSite(window));
  result = control_->SetClientSite(site.Get());
  RECT area;
  GetClientRect(window, &area);
  if (SUCCEEDED(result)) result = control_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, window, &area);
  if (SUCCEEDED(result)) result = control_.As(&inPlace_);
  if (SUCCEEDED(result)) result = control_.As(&browser_);
  if (FAILED(result)) return Korean("웹 브라우저 컨트롤을 페이지에 넣을 수 없습니다 (") + Code(result) + ")";
  area_->Place(inPlace_.Get());
  inPlace_->SetObjectRects(&area, &area);
  // A counter has no one to answer the control's own dialogs (script errors and the
  // like), and a file dropped on the page is not to be opened in it.
  browser_->put_Silent(VARIANT_TRUE);
  browser_->put_RegisterAsDropTarget(VARIANT_FALSE);
  ComPtr<IConnectionPointContainer> points;
  if (SUCCEEDED(control_.As(&points))) points->FindConnectionPoint(DIID_DWebBrowserEvents2, &events_);
  if (events_) {
    sink_ = Owned(new TBrowserEvents(this));
    if (FAILED(events_->Advise(sink_.Get(), &cookie_))) cookie_ = 0;
  }
  // Without its events the page is never known as shown: the control goes on
  // without the timer's verdict (and new windows and downloads go unrefused, which
  // the document host's handler can't make up for; no control known lacks them).
  return {};
}

void TWebBrowser::Browser::Close() {
  showTimer_.stop();
  if (sink_) sink_->Forget();
  if (cookie_ != 0) events_->Unadvise(cookie_);
  cookie_ = 0;
  area_->Place(nullptr);
  if (inPlace_) inPlace_->InPlaceDeactivate();
  if (control_) {
    control_->Close(OLECLOSE_NOSAVE);
    control_->SetClientSite(nullptr);
  }
  sink_.Reset();
  events_.Reset();
  browser_.Reset();
  inPlace_.Reset();
  control_.Reset();
}

std::string TWebBrowser::Browser::Navigate(const std::string& url) { return Load(Wide(url), url); }

// Every address asked for is given to the control at once, a load under way or
// not, and the control gives up the earlier one itself. No Stop() first: Wine's
// control takes the addresses one after the other and reports each one's outcome
// either way, and a stopped load may get a page of the control's own.
std::string TWebBrowser::Browser::Load(const std::wstring& address, const std::string& named) {
  // A failed control is taken down now rather than after this new try.
  if (failing_) Close();
  failing_ = false;
  notice_->hide();
  if (!control_) {
    const std::string reason = Create();
    if (!reason.empty()) return Unable(reason);
  }
  const std::unique_ptr<OLECHAR, decltype(&SysFreeString)> text(
      SysAllocStringLen(address.data(), static_cast<UINT>(address.size())), &SysFreeString);
  if (!text) return Unable(Korean("주소를 넘길 메모리가 없습니다"));
  showTimer_.stop();
  // Before the call: the control reports the start, and may report the outcome,
  // from inside it.
  load_.Asked();
  VARIANT none;
  VariantInit(&none);
  // Held for the call: a failure's teardown may take the control away while the call
  // lets messages through.
  const ComPtr<IWebBrowser2> browser = browser_;
  const HRESULT result = browser->Navigate(text.get(), &none, &none, &none, &none);
  if (FAILED(result))
    return Unable(Korean("웹 브라우저 컨트롤이 주소를 받지 않았습니다 (") + Code(result) + "): " + named);
  // From the control's taking the address (Wine's control takes its first one only
  // after seconds); a page shown meanwhile makes the time-out say nothing.
  if (cookie_ != 0 && !failing_) showTimer_.start(kShowMilliseconds);
  return {};
}

// Takes the control away and says why in its place, in the page; returns what it says.
std::string TWebBrowser::Browser::Unable(const std::string& reason) {
  Close();
  const std::string text = Korean("웹 페이지를 표시할 수 없습니다: ") + reason;
  notice_->setText(QString::fromStdString(platform::Cp949ToUtf8(text)));
  notice_->show();
  return text;
}

// The control is not taken down from inside its own event.
void TWebBrowser::Browser::UnableLater(const std::string& reason) {
  showTimer_.stop();
  failing_ = true;
  QTimer::singleShot(0, &pending_, [this, reason] {
    if (failing_) Unable(reason);
    failing_ = false;
  });
}

void TWebBrowser::Browser::Started(IDispatch* frame) {
  if (TopFrame(frame)) load_.Started();
}

void TWebBrowser::Browser::Shown(IDispatch* frame) {
  if (TopFrame(frame) && load_.Shown()) showTimer_.stop();
}

void TWebBrowser::Browser::Failed(IDispatch* frame, long status) {
  // A frame inside the page, or the load the control gave up for a newer one.
  if (!TopFrame(frame) || !load_.Failed()) return;
  UnableLater(Korean("페이지를 읽지 못했습니다 (상태 ") + Code(status) + ")");
}

// The page's own window, refused, is loaded in its place, after the control's event.
void TWebBrowser::Browser::NewWindowRefused(const std::wstring& address) {
  QTimer::singleShot(0, &pending_, [this, address] {
    Load(address, platform::Utf8ToCp949(QString::fromStdWString(address).toStdString()));
  });
}

TWebBrowser::TWebBrowser(QWidget* page, std::string, std::function<void(const std::string&)>)
    : browser_(std::make_unique<Browser>(page)) {}
TWebBrowser::~TWebBrowser() = default;
std::string TWebBrowser::Navigate(const std::string& url) { return browser_->Navigate(url); }
QWidget* TWebBrowser::View() const { return browser_->View(); }

}  // namespace shell
