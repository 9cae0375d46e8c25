#include "Win32BrowserHost.h"

// clang-format off
#include <exdispid.h>
// clang-format on

#include <memory>

namespace shell {

namespace {

bool Held(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// What Ctrl may come with: moving and editing in the page's fields (copy, paste,
// undo), and with Shift as well, selecting. Everything else with Ctrl is one of the
// browser's commands: print, find, open, save, new window, history, favourites,
// zoom, the browsing-history dialog (Ctrl+Shift+Del).
bool EditingKey(WPARAM key, bool shift) {
  switch (key) {
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_HOME:
    case VK_END:
      return true;
    case VK_PRIOR:
    case VK_NEXT:
    case VK_BACK:
    case VK_DELETE:
    case VK_INSERT:
    case 'A':
    case 'C':
    case 'V':
    case 'X':
    case 'Z':
    case 'Y':
      return !shift;
    default:
      return false;
  }
}

// Whether a key press goes to the page, or is one of the browser's own commands,
// which open windows and dialogs a kiosk must not show.
bool PageKey(const MSG& message) {
  // Alt with any key (the home page, menus), and F10.
  if (message.message == WM_SYSKEYDOWN) return false;
  if (message.message != WM_KEYDOWN) return true;
  const WPARAM key = message.wParam;
  // Help, find, address, caret browsing, full screen, developer tools; the
  // context-menu key; a keyboard's browser keys (search, favourites, home).
  if ((key >= VK_F1 && key <= VK_F24) || key == VK_APPS || (key >= VK_BROWSER_BACK && key <= VK_BROWSER_HOME))
    return false;
  if (Held(VK_MENU)) return false;
  if (Held(VK_CONTROL)) return EditingKey(key, Held(VK_SHIFT));
  return true;
}

// An argument of an event by its place in the event's declaration (they come last
// first), seen through a reference to a variant.
VARIANT* Argument(DISPPARAMS& parameters, UINT place) {
  if (place >= parameters.cArgs) return nullptr;
  VARIANT* argument = &parameters.rgvarg[parameters.cArgs - 1 - place];
  if (argument->vt == (VT_BYREF | VT_VARIANT)) argument = argument->pvarVal;
  return argument;
}

IDispatch* Frame(DISPPARAMS& parameters) {
  const VARIANT* frame = Argument(parameters, 0);
  return frame != nullptr && frame->vt == VT_DISPATCH ? frame->pdispVal : nullptr;
}

void Cancel(DISPPARAMS& parameters, UINT place) {
  VARIANT* cancel = Argument(parameters, place);
  if (cancel != nullptr && cancel->vt == (VT_BYREF | VT_BOOL) && cancel->pboolVal != nullptr)
    *cancel->pboolVal = VARIANT_TRUE;
}

}  // namespace

TBrowserSite::TBrowserSite(HWND window) : window_(window) {}

STDMETHODIMP TBrowserSite::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IOleClientSite)
    *object = static_cast<IOleClientSite*>(this);
  else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
    *object = static_cast<IOleInPlaceSite*>(this);
  else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
    *object = static_cast<IOleInPlaceFrame*>(this);
  else if (iid == IID_IDocHostUIHandler)
    *object = static_cast<IDocHostUIHandler*>(this);
  else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) TBrowserSite::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) TBrowserSite::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP TBrowserSite::SaveObject() { return E_NOTIMPL; }

STDMETHODIMP TBrowserSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP TBrowserSite::GetContainer(IOleContainer** container) {
  if (container != nullptr) *container = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP TBrowserSite::ShowObject() { return S_OK; }
STDMETHODIMP TBrowserSite::OnShowWindow(BOOL) { return S_OK; }
STDMETHODIMP TBrowserSite::RequestNewObjectLayout() { return E_NOTIMPL; }

STDMETHODIMP TBrowserSite::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return S_OK;
}

STDMETHODIMP TBrowserSite::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP TBrowserSite::CanInPlaceActivate() { return S_OK; }
STDMETHODIMP TBrowserSite::OnInPlaceActivate() { return S_OK; }
STDMETHODIMP TBrowserSite::OnUIActivate() { return S_OK; }

STDMETHODIMP TBrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                            LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
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

STDMETHODIMP TBrowserSite::Scroll(SIZE) { return E_NOTIMPL; }
STDMETHODIMP TBrowserSite::OnUIDeactivate(BOOL) { return S_OK; }
STDMETHODIMP TBrowserSite::OnInPlaceDeactivate() { return S_OK; }
STDMETHODIMP TBrowserSite::DiscardUndoState() { return S_OK; }
STDMETHODIMP TBrowserSite::DeactivateAndUndo() { return S_OK; }
STDMETHODIMP TBrowserSite::OnPosRectChange(LPCRECT) { return S_OK; }

// No tool space to give.
STDMETHODIMP TBrowserSite::GetBorder(LPRECT) { return INPLACE_E_NOTOOLSPACE; }
STDMETHODIMP TBrowserSite::RequestBorderSpace(LPCBORDERWIDTHS) { return INPLACE_E_NOTOOLSPACE; }
STDMETHODIMP TBrowserSite::SetBorderSpace(LPCBORDERWIDTHS) { return S_OK; }
STDMETHODIMP TBrowserSite::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) { return S_OK; }

// No menus, no status line, no accelerators of the frame's own.
STDMETHODIMP TBrowserSite::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) { return E_NOTIMPL; }
STDMETHODIMP TBrowserSite::SetMenu(HMENU, HOLEMENU, HWND) { return S_OK; }
STDMETHODIMP TBrowserSite::RemoveMenus(HMENU) { return E_NOTIMPL; }
STDMETHODIMP TBrowserSite::SetStatusText(LPCOLESTR) { return S_OK; }
STDMETHODIMP TBrowserSite::EnableModeless(BOOL) { return S_OK; }
STDMETHODIMP TBrowserSite::TranslateAccelerator(LPMSG, WORD) { return S_FALSE; }

// Handled, with nothing shown: the menu leads to the page's source in an editor and
// from there to the file system.
STDMETHODIMP TBrowserSite::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) { return S_OK; }

STDMETHODIMP TBrowserSite::GetHostInfo(DOCHOSTUIINFO* info) {
  if (info == nullptr) return E_POINTER;
  // Flat in the page, scroll bars only where the page needs them (the default),
  // and no text selection: at the counter a long press would only select.
  info->dwFlags =
      DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_NO3DOUTERBORDER | DOCHOSTUIFLAG_DIALOG | DOCHOSTUIFLAG_DISABLE_HELP_MENU;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  return S_OK;
}

// The host shows the control's tools itself, which here are none.
STDMETHODIMP TBrowserSite::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                  IOleInPlaceUIWindow*) {
  return S_OK;
}
STDMETHODIMP TBrowserSite::HideUI() { return S_OK; }
STDMETHODIMP TBrowserSite::UpdateUI() { return S_OK; }
STDMETHODIMP TBrowserSite::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP TBrowserSite::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP TBrowserSite::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }

// S_OK takes the key from the control (nothing happens), S_FALSE leaves it to it.
STDMETHODIMP TBrowserSite::TranslateAccelerator(LPMSG message, const GUID*, DWORD) {
  if (message == nullptr) return E_INVALIDARG;
  return PageKey(*message) ? S_FALSE : S_OK;
}

STDMETHODIMP TBrowserSite::GetOptionKeyPath(LPOLESTR* key, DWORD) {
  if (key != nullptr) *key = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP TBrowserSite::GetDropTarget(IDropTarget*, IDropTarget** target) {
  if (target != nullptr) *target = nullptr;
  return E_NOTIMPL;
}

// The page's scripts get nothing of the program, and, this being an answer, not the
// control's own object in its place either (its favourites dialog).
STDMETHODIMP TBrowserSite::GetExternal(IDispatch** external) {
  if (external == nullptr) return E_POINTER;
  *external = nullptr;
  return S_FALSE;
}

STDMETHODIMP TBrowserSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) {
  if (translated != nullptr) *translated = nullptr;
  return S_FALSE;
}

STDMETHODIMP TBrowserSite::FilterDataObject(IDataObject*, IDataObject** filtered) {
  if (filtered != nullptr) *filtered = nullptr;
  return S_FALSE;
}

TBrowserEvents::TBrowserEvents(TBrowserListener* listener) : listener_(listener) {}

void TBrowserEvents::Forget() { listener_ = nullptr; }

STDMETHODIMP TBrowserEvents::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid != IID_IUnknown && iid != IID_IDispatch && iid != DIID_DWebBrowserEvents2) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  *object = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) TBrowserEvents::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) TBrowserEvents::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP TBrowserEvents::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP TBrowserEvents::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
STDMETHODIMP TBrowserEvents::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP TBrowserEvents::Invoke(DISPID event, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                                    UINT*) {
  if (parameters == nullptr) return S_OK;
  switch (event) {
    case DISPID_NEWWINDOW2:  // (new window, cancel): no address to take in place
      Cancel(*parameters, 1);
      break;
    case DISPID_NEWWINDOW3: {  // (new window, cancel, flags, referring address, address)
      Cancel(*parameters, 1);
      const VARIANT* address = Argument(*parameters, 4);
      if (listener_ != nullptr && address != nullptr && address->vt == VT_BSTR && address->bstrVal != nullptr)
        listener_->NewWindowRefused(std::wstring(address->bstrVal, SysStringLen(address->bstrVal)));
      break;
    }
    case DISPID_FILEDOWNLOAD: {  // (active document, cancel): also before each page the control shows itself
      const VARIANT* document = Argument(*parameters, 0);
      if (document == nullptr || document->vt != VT_BOOL || document->boolVal == VARIANT_FALSE) Cancel(*parameters, 1);
      break;
    }
    case DISPID_BEFORENAVIGATE2:
      if (listener_ != nullptr) listener_->Started(Frame(*parameters));
      break;
    case DISPID_NAVIGATECOMPLETE2:
    case DISPID_DOCUMENTCOMPLETE:
      if (listener_ != nullptr) listener_->Shown(Frame(*parameters));
      break;
    case DISPID_NAVIGATEERROR: {  // (frame, address, target frame, status code, cancel)
      // The page says it itself; the control's own error page is not wanted.
      Cancel(*parameters, 4);
      const VARIANT* code = Argument(*parameters, 3);
      const long status = code != nullptr && code->vt == VT_I4 ? code->lVal : 0;
      if (listener_ != nullptr) listener_->Failed(Frame(*parameters), status);
      break;
    }
    default:
      break;
  }
  return S_OK;
}

LSTATUS UseEdgeDocumentMode() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return static_cast<LSTATUS>(GetLastError());
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);

  HKEY opened = nullptr;
  LSTATUS status = RegCreateKeyExW(
      HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION", 0,
      nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &opened, nullptr);
  if (status != ERROR_SUCCESS) return status;
  const std::unique_ptr<HKEY__, decltype(&RegCloseKey)> key(opened, &RegCloseKey);
  DWORD value = 0;
  DWORD type = REG_NONE;
  DWORD size = sizeof value;
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD && value == kEdgeDocumentMode)
    return ERROR_SUCCESS;
  value = kEdgeDocumentMode;
  return RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace shell
