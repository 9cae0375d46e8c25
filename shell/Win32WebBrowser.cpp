#include "WebBrowser.h"

// clang-format off
#include <windows.h>
#include <ole2.h>
#include <oleidl.h>
#include <ocidl.h>
#include <exdisp.h>
#include <exdispid.h>
#include <wrl/client.h>
// clang-format on

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <memory>

#include "platform/text/Cp949.h"

namespace shell {

using Microsoft::WRL::ComPtr;

namespace {

// How long a navigation may take before the page says it can't be shown: the
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

// The control's container, as little of one as it asks for: its client site, its
// in-place site in the host window, and the frame it asks the site for.
class TSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
 public:
  explicit TSite(HWND window) : window_(window) {}

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
      *object = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
      *object = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
      *object = static_cast<IOleInPlaceFrame*>(this);
    else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker != nullptr) *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    if (container != nullptr) *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the in-place site and the frame)
  STDMETHODIMP GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = window_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr || info == nullptr)
      return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;  // no document window apart from the frame
    GetClientRect(window_, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = window_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow: no tool space to give.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }

  // IOleInPlaceFrame: no menus, no status line, no accelerators of its own.
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  ~TSite() = default;
  HWND window_;
  ULONG references_ = 1;
};

// What the control's events tell the browser; the browser may be gone before the
// control lets go of its sink, so the sink is told to forget it.
class TNavigationListener {
 public:
  virtual void Completed(IDispatch* frame) = 0;
  virtual void Failed(IDispatch* frame, long status) = 0;

 protected:
  ~TNavigationListener() = default;
};

// The sink of the control's DWebBrowserEvents2: hears of the page shown and of the
// navigation failing.
class TEvents final : public IDispatch {
 public:
  explicit TEvents(TNavigationListener* listener) : listener_(listener) {}
  void Forget() { listener_ = nullptr; }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != DIID_DWebBrowserEvents2) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

  STDMETHODIMP Invoke(DISPID event, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    if (listener_ == nullptr || parameters == nullptr) return S_OK;
    // The arguments come last first: the frame that navigated is the last one.
    const UINT count = parameters->cArgs;
    IDispatch* frame = count > 0 && parameters->rgvarg[count - 1].vt == VT_DISPATCH
                           ? parameters->rgvarg[count - 1].pdispVal
                           : nullptr;
    if (event == DISPID_DOCUMENTCOMPLETE) {
      listener_->Completed(frame);
    } else if (event == DISPID_NAVIGATEERROR && count == 5) {
      // (frame, address, target frame, status code, cancel)
      long status = 0;
      const VARIANT& code = parameters->rgvarg[1];
      if (code.vt == (VT_BYREF | VT_VARIANT) && code.pvarVal != nullptr && code.pvarVal->vt == VT_I4)
        status = code.pvarVal->lVal;
      else if (code.vt == VT_I4)
        status = code.lVal;
      // The page says it itself; the control's own error page is not wanted.
      const VARIANT& cancel = parameters->rgvarg[0];
      if (cancel.vt == (VT_BYREF | VT_BOOL) && cancel.pboolVal != nullptr) *cancel.pboolVal = VARIANT_TRUE;
      listener_->Failed(frame, status);
    }
    return S_OK;
  }

 private:
  ~TEvents() = default;
  TNavigationListener* listener_;
  ULONG references_ = 1;
};

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
class TWebBrowser::Browser final : private TNavigationListener {
 public:
  explicit Browser(QWidget* page);
  ~Browser();
  std::string Navigate(const std::string& url);
  QWidget* View() const { return area_; }

 private:
  std::string Create();
  void Close();
  std::string Unable(const std::string& reason);
  void UnableLater(const std::string& reason);
  void Completed(IDispatch* frame) override;
  void Failed(IDispatch* frame, long status) override;

  TOleUse ole_;
  QWidget* page_;
  THostArea* area_;  // owned by the page
  QLabel* notice_;   // owned by the area
  QTimer showTimer_;
  QObject pending_;  // context of the deferred teardown, so none outlives the browser
  ComPtr<IOleObject> control_;
  ComPtr<IOleInPlaceObject> inPlace_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<IConnectionPoint> events_;
  ComPtr<TEvents> sink_;
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
  HRESULT result = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&control_));
  if (FAILED(result)) return Korean("웹 브라우저 컨트롤을 만들 수 없습니다 (") + Code(result) + ")";
  const HWND window = reinterpret_cast<HWND>(area_->winId());
  const ComPtr<TSite> site = Owned(new TSite(window));
  result = control_->SetClientSite(site.Get());
  RECT area;
  GetClientRect(window, &area);
  if (SUCCEEDED(result)) result = control_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, window, &area);
  if (SUCCEEDED(result)) result = control_.As(&inPlace_);
  if (SUCCEEDED(result)) result = control_.As(&browser_);
  if (FAILED(result)) return Korean("웹 브라우저 컨트롤을 페이지에 넣을 수 없습니다 (") + Code(result) + ")";
  area_->Place(inPlace_.Get());
  inPlace_->SetObjectRects(&area, &area);
  // A counter has no one to answer the control's own dialogs (script errors and the like).
  browser_->put_Silent(VARIANT_TRUE);
  ComPtr<IConnectionPointContainer> points;
  if (SUCCEEDED(control_.As(&points))) points->FindConnectionPoint(DIID_DWebBrowserEvents2, &events_);
  if (events_) {
    sink_ = Owned(new TEvents(this));
    if (FAILED(events_->Advise(sink_.Get(), &cookie_))) cookie_ = 0;
  }
  // Without its events the page is never known as shown: the control goes on
  // without the timer's verdict.
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

std::string TWebBrowser::Browser::Navigate(const std::string& url) {
  // The page asked for is on its way: asked again, it would come no sooner (and
  // Wine's control, given a second address before the first fails, reports neither).
  if (showTimer_.isActive()) return {};
  // A failed control is taken down now rather than after this new try.
  if (failing_) Close();
  failing_ = false;
  notice_->hide();
  if (!control_) {
    const std::string reason = Create();
    if (!reason.empty()) return Unable(reason);
  }
  const std::unique_ptr<OLECHAR, decltype(&SysFreeString)> address(SysAllocString(Wide(url).c_str()),
                                                                     &SysFreeString);
  if (!address) return Unable(Korean("주소를 넘길 메모리가 없습니다"));
  // Started before the call: the control may report the outcome from inside it.
  if (cookie_ != 0) showTimer_.start(kShowMilliseconds);
  VARIANT none;
  VariantInit(&none);
  // Held for the call: the time limit may take the control away while the call lets
  // messages through.
  const ComPtr<IWebBrowser2> browser = browser_;
  const HRESULT result = browser->Navigate(address.get(), &none, &none, &none, &none);
  if (FAILED(result)) return Unable(Korean("웹 브라우저 컨트롤이 주소를 받지 않았습니다 (") + Code(result) + "): " + url);
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

void TWebBrowser::Browser::Completed(IDispatch* frame) {
  if (SameObject(frame, browser_.Get())) showTimer_.stop();
}

void TWebBrowser::Browser::Failed(IDispatch* frame, long status) {
  if (!SameObject(frame, browser_.Get())) return;  // a frame inside the page
  UnableLater(Korean("페이지를 읽지 못했습니다 (상태 ") + Code(status) + ")");
}

TWebBrowser::TWebBrowser(QWidget* page, std::string, std::function<void(const std::string&)>)
    : browser_(std::make_unique<Browser>(page)) {}
TWebBrowser::~TWebBrowser() = default;
std::string TWebBrowser::Navigate(const std::string& url) { return browser_->Navigate(url); }
QWidget* TWebBrowser::View() const { return browser_->View(); }

}  // namespace shell
