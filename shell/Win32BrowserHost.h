#pragma once

// The host's side of the system's web browser control, kept to what a counter's
// kiosk allows: its container (client site, in-place site and frame, and the
// document host's handler: no context menu, no keys that open other windows or
// dialogs), the sink of its events (new windows and downloads refused), and the
// document mode it renders in. Qt-free, so it is tested on its own.

// clang-format off
#include <windows.h>
#include <ole2.h>
#include <oleidl.h>
#include <exdisp.h>
#include <mshtmhst.h>
// clang-format on

#include <string>

namespace shell {

// The control's container, as little of one as it asks for: its client site, its
// in-place site in the host window, the frame it asks the site for, and the handler
// the document asks the site for.
class TBrowserSite final : public IOleClientSite,
                           public IOleInPlaceSite,
                           public IOleInPlaceFrame,
                           public IDocHostUIHandler {
 public:
  explicit TBrowserSite(HWND window);

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IOleClientSite
  STDMETHODIMP SaveObject() override;
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
  STDMETHODIMP GetContainer(IOleContainer** container) override;
  STDMETHODIMP ShowObject() override;
  STDMETHODIMP OnShowWindow(BOOL) override;
  STDMETHODIMP RequestNewObjectLayout() override;

  // IOleWindow (shared by the in-place site and the frame)
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override;

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override;
  STDMETHODIMP OnInPlaceActivate() override;
  STDMETHODIMP OnUIActivate() override;
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override;
  STDMETHODIMP Scroll(SIZE) override;
  STDMETHODIMP OnUIDeactivate(BOOL) override;
  STDMETHODIMP OnInPlaceDeactivate() override;
  STDMETHODIMP DiscardUndoState() override;
  STDMETHODIMP DeactivateAndUndo() override;
  STDMETHODIMP OnPosRectChange(LPCRECT) override;

  // IOleInPlaceUIWindow
  STDMETHODIMP GetBorder(LPRECT) override;
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override;
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override;
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override;

  // IOleInPlaceFrame (EnableModeless serves the document's handler too)
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override;
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override;
  STDMETHODIMP RemoveMenus(HMENU) override;
  STDMETHODIMP SetStatusText(LPCOLESTR) override;
  STDMETHODIMP EnableModeless(BOOL) override;
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override;

  // IDocHostUIHandler
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override;
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override;
  STDMETHODIMP HideUI() override;
  STDMETHODIMP UpdateUI() override;
  STDMETHODIMP OnDocWindowActivate(BOOL) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL) override;
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override;
  STDMETHODIMP TranslateAccelerator(LPMSG message, const GUID*, DWORD) override;
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override;
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override;
  STDMETHODIMP GetExternal(IDispatch** external) override;
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) override;
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** filtered) override;

 private:
  ~TBrowserSite() = default;
  HWND window_;
  ULONG references_ = 1;
};

// What the control's events tell the browser: the frame is the one the event is
// about (the control itself for its top frame).
class TBrowserListener {
 public:
  // A load begins in the frame.
  virtual void Started(IDispatch* frame) = 0;
  // The frame holds its new document (it shows, though parts of it may still come).
  virtual void Shown(IDispatch* frame) = 0;
  virtual void Failed(IDispatch* frame, long status) = 0;
  // The page asked for a new window, refused; its address is to be loaded in place.
  virtual void NewWindowRefused(const std::wstring& address) = 0;

 protected:
  ~TBrowserListener() = default;
};

// The sink of the control's DWebBrowserEvents2. New windows and downloads are
// refused whether or not anyone listens: the browser may be gone before the
// control lets go of its sink, so the sink is told to forget it.
class TBrowserEvents final : public IDispatch {
 public:
  explicit TBrowserEvents(TBrowserListener* listener);
  void Forget();

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  STDMETHODIMP Invoke(DISPID event, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*, UINT*) override;

 private:
  ~TBrowserEvents() = default;
  TBrowserListener* listener_;
  ULONG references_ = 1;
};

// The value of FEATURE_BROWSER_EMULATION that renders pages in the newest document
// mode, whatever their doctype says.
inline constexpr DWORD kEdgeDocumentMode = 11001;

// Makes the control render in that mode in this program: the per-user value for
// the running program's file name. The control reads it when it first loads in the
// process, so this comes before the first control. A failure is returned (the
// control then renders as before).
LSTATUS UseEdgeDocumentMode();

}  // namespace shell
