#include "shell/Win32BrowserHost.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

// clang-format off
#include <exdispid.h>
#include <shobjidl.h>
// clang-format on

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using shell::TBrowserEvents;
using shell::TBrowserListener;
using shell::TBrowserSite;

// Wine here has no HTML engine to raise these, so the handlers are called the way
// the control calls them.

namespace {

template <class T>
ComPtr<T> Owned(T* fresh) {
  ComPtr<T> pointer;
  pointer.Attach(fresh);
  return pointer;
}

ComPtr<IDocHostUIHandler> Handler() {
  const ComPtr<TBrowserSite> site = Owned(new TBrowserSite(nullptr));
  ComPtr<IOleClientSite> clientSite;
  EXPECT_EQ(site.As(&clientSite), S_OK);
  // The control asks its client site for the handler.
  ComPtr<IDocHostUIHandler> handler;
  EXPECT_EQ(clientSite.As(&handler), S_OK);
  return handler;
}

// A key pressed with the given keys held, as the control hands it to its host.
HRESULT Press(IDocHostUIHandler* handler, WPARAM key, std::initializer_list<int> held = {}, UINT message = WM_KEYDOWN) {
  std::array<BYTE, 256> state{};
  for (const int down : held) state[down] = 0x80;
  EXPECT_TRUE(SetKeyboardState(state.data()));
  MSG press{};
  press.message = message;
  press.wParam = key;
  const HRESULT result = handler->TranslateAccelerator(&press, nullptr, 0);
  state.fill(0);
  SetKeyboardState(state.data());
  return result;
}

struct TReports final : TBrowserListener {
  std::vector<std::string> heard;
  std::wstring address;
  void Started(IDispatch* frame) override { heard.push_back(frame ? "started" : "started, no frame"); }
  void Shown(IDispatch* frame) override { heard.push_back(frame ? "shown" : "shown, no frame"); }
  void Failed(IDispatch* frame, long status) override {
    heard.push_back((frame ? "failed " : "failed, no frame ") + std::to_string(status));
  }
  void NewWindowRefused(const std::wstring& refused) override {
    heard.push_back("new window");
    address = refused;
  }
};

// An event's arguments, given first to last as declared (they travel last first).
struct TEvent {
  std::vector<VARIANT> arguments;
  explicit TEvent(std::initializer_list<VARIANT> declared) : arguments(declared.begin(), declared.end()) {
    std::reverse(arguments.begin(), arguments.end());
  }
  HRESULT RaiseOn(IDispatch* sink, DISPID event) {
    DISPPARAMS parameters{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    return sink->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
  }
};

VARIANT Of(VARTYPE type) {
  VARIANT value;
  VariantInit(&value);
  value.vt = type;
  return value;
}
VARIANT Dispatch(IDispatch* dispatch) {
  VARIANT value = Of(VT_DISPATCH);
  value.pdispVal = dispatch;
  return value;
}
VARIANT DispatchOut(IDispatch** dispatch) {
  VARIANT value = Of(VT_BYREF | VT_DISPATCH);
  value.ppdispVal = dispatch;
  return value;
}
VARIANT Flag(VARIANT_BOOL flag) {
  VARIANT value = Of(VT_BOOL);
  value.boolVal = flag;
  return value;
}
VARIANT FlagOut(VARIANT_BOOL* flag) {
  VARIANT value = Of(VT_BYREF | VT_BOOL);
  value.pboolVal = flag;
  return value;
}
VARIANT Number(long number) {
  VARIANT value = Of(VT_I4);
  value.lVal = number;
  return value;
}
VARIANT Text(BSTR text) {
  VARIANT value = Of(VT_BSTR);
  value.bstrVal = text;
  return value;
}
VARIANT Reference(VARIANT* to) {
  VARIANT value = Of(VT_BYREF | VT_VARIANT);
  value.pvarVal = to;
  return value;
}

struct TText {
  BSTR text;
  explicit TText(const wchar_t* value) : text(SysAllocString(value)) {}
  ~TText() { SysFreeString(text); }
  TText(const TText&) = delete;
  TText& operator=(const TText&) = delete;
};

ComPtr<IDispatch> Sink(TBrowserListener* listener) {
  const ComPtr<TBrowserEvents> events = Owned(new TBrowserEvents(listener));
  // The control asks for its events' interface.
  ComPtr<IDispatch> sink;
  EXPECT_EQ(events->QueryInterface(DIID_DWebBrowserEvents2, reinterpret_cast<void**>(sink.GetAddressOf())), S_OK);
  return sink;
}

}  // namespace

TEST(BrowserSite, ShowsNoContextMenuAndHostsTheDocumentForAKiosk) {
  const ComPtr<IDocHostUIHandler> handler = Handler();
  ASSERT_TRUE(handler);
  POINT where{10, 10};
  for (const DWORD menu :
       {CONTEXT_MENU_DEFAULT, CONTEXT_MENU_IMAGE, CONTEXT_MENU_CONTROL, CONTEXT_MENU_TEXTSELECT, CONTEXT_MENU_ANCHOR})
    EXPECT_EQ(handler->ShowContextMenu(menu, &where, nullptr, nullptr), S_OK) << "menu " << menu;

  DOCHOSTUIINFO info{};
  info.cbSize = sizeof info;
  ASSERT_EQ(handler->GetHostInfo(&info), S_OK);
  EXPECT_TRUE(info.dwFlags & DOCHOSTUIFLAG_NO3DBORDER);
  EXPECT_TRUE(info.dwFlags & DOCHOSTUIFLAG_DIALOG) << "text selection";
  EXPECT_FALSE(info.dwFlags & DOCHOSTUIFLAG_SCROLL_NO) << "a long page must scroll";
  EXPECT_FALSE(info.dwFlags & DOCHOSTUIFLAG_OPENNEWWIN);
  EXPECT_EQ(info.dwDoubleClick, static_cast<DWORD>(DOCHOSTUIDBLCLK_DEFAULT));

  // The page's scripts reach nothing of the program, nor the control's own object
  // in its place (with its favourites dialog).
  IDispatch* external = reinterpret_cast<IDispatch*>(1);
  EXPECT_HRESULT_SUCCEEDED(handler->GetExternal(&external));
  EXPECT_EQ(external, nullptr);
}

TEST(BrowserSite, TakesTheBrowsersCommandKeysAndLeavesThePageItsOwn) {
  const ComPtr<IDocHostUIHandler> handler = Handler();
  ASSERT_TRUE(handler);
  // Print, find, open, new window, save, address, history, favourites, feeds, tab,
  // duplicate, close, refresh, in-private, zoom in and out.
  for (const char command : std::string("PFONSLHIJDTKWRBE"))
    EXPECT_EQ(Press(handler.Get(), command, {VK_CONTROL}), S_OK) << "Ctrl+" << command;
  EXPECT_EQ(Press(handler.Get(), 'P', {VK_CONTROL, VK_SHIFT}), S_OK) << "Ctrl+Shift+P";
  EXPECT_EQ(Press(handler.Get(), VK_DELETE, {VK_CONTROL, VK_SHIFT}), S_OK) << "the browsing-history dialog";
  EXPECT_EQ(Press(handler.Get(), VK_OEM_PLUS, {VK_CONTROL}), S_OK) << "zoom";
  EXPECT_EQ(Press(handler.Get(), VK_RETURN, {VK_CONTROL}), S_OK);
  for (WPARAM key = VK_F1; key <= VK_F12; ++key) EXPECT_EQ(Press(handler.Get(), key), S_OK) << "F" << key - VK_F1 + 1;
  EXPECT_EQ(Press(handler.Get(), VK_F10, {VK_SHIFT}, WM_SYSKEYDOWN), S_OK) << "the context menu";
  EXPECT_EQ(Press(handler.Get(), VK_APPS), S_OK) << "the context menu";
  EXPECT_EQ(Press(handler.Get(), VK_HOME, {VK_MENU}, WM_SYSKEYDOWN), S_OK) << "the home page";
  EXPECT_EQ(Press(handler.Get(), VK_BROWSER_SEARCH), S_OK);
  EXPECT_EQ(Press(handler.Get(), VK_BROWSER_HOME), S_OK);

  // Moving about the page and its fields, typing and editing in them.
  for (const WPARAM key :
       std::initializer_list<WPARAM>{VK_TAB, VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_PRIOR, VK_NEXT, VK_HOME, VK_END,
                                     VK_RETURN, VK_SPACE, VK_BACK, VK_DELETE, VK_ESCAPE, WPARAM('P'), WPARAM('7')})
    EXPECT_EQ(Press(handler.Get(), key), S_FALSE) << "key " << key;
  EXPECT_EQ(Press(handler.Get(), VK_TAB, {VK_SHIFT}), S_FALSE);
  for (const char edit : std::string("ACVXZY"))
    EXPECT_EQ(Press(handler.Get(), edit, {VK_CONTROL}), S_FALSE) << "Ctrl+" << edit;
  EXPECT_EQ(Press(handler.Get(), VK_LEFT, {VK_CONTROL}), S_FALSE);
  EXPECT_EQ(Press(handler.Get(), VK_RIGHT, {VK_CONTROL, VK_SHIFT}), S_FALSE) << "selecting a word";
  EXPECT_EQ(Press(handler.Get(), VK_BACK, {VK_CONTROL}), S_FALSE);
  EXPECT_EQ(Press(handler.Get(), 'p', {}, WM_CHAR), S_FALSE);
  EXPECT_EQ(Press(handler.Get(), 'P', {VK_CONTROL}, WM_KEYUP), S_FALSE);
}

TEST(BrowserEvents, NewWindowsAreRefusedAndTheirAddressTakenInPlace) {
  TReports reports;
  const ComPtr<IDispatch> sink = Sink(&reports);
  TText address(L"http://127.0.0.1:19980/day?d=1"), from(L"http://127.0.0.1:19980/");

  IDispatch* window = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  ASSERT_EQ(
      TEvent({DispatchOut(&window), FlagOut(&cancel), Number(NWMF_USERINITED), Text(from.text), Text(address.text)})
          .RaiseOn(sink.Get(), DISPID_NEWWINDOW3),
      S_OK);
  EXPECT_EQ(cancel, VARIANT_TRUE);
  EXPECT_EQ(window, nullptr);
  EXPECT_EQ(reports.heard, std::vector<std::string>{"new window"});
  EXPECT_EQ(reports.address, L"http://127.0.0.1:19980/day?d=1");

  cancel = VARIANT_FALSE;
  TEvent({DispatchOut(&window), FlagOut(&cancel)}).RaiseOn(sink.Get(), DISPID_NEWWINDOW2);
  EXPECT_EQ(cancel, VARIANT_TRUE);
  EXPECT_EQ(reports.heard.size(), 1u) << "no address to take";

  // Refused also once the browser is gone.
  const ComPtr<TBrowserEvents> forgetting = Owned(new TBrowserEvents(&reports));
  forgetting->Forget();
  cancel = VARIANT_FALSE;
  TEvent({DispatchOut(&window), FlagOut(&cancel), Number(0), Text(from.text), Text(address.text)})
      .RaiseOn(forgetting.Get(), DISPID_NEWWINDOW3);
  EXPECT_EQ(cancel, VARIANT_TRUE);
  EXPECT_EQ(reports.heard.size(), 1u);
}

TEST(BrowserEvents, DownloadsAreRefusedAndPagesLetThrough) {
  const ComPtr<IDispatch> sink = Sink(nullptr);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  TEvent({Flag(VARIANT_FALSE), FlagOut(&cancel)}).RaiseOn(sink.Get(), DISPID_FILEDOWNLOAD);
  EXPECT_EQ(cancel, VARIANT_TRUE) << "a file to save";
  cancel = VARIANT_FALSE;
  TEvent({Flag(VARIANT_TRUE), FlagOut(&cancel)}).RaiseOn(sink.Get(), DISPID_FILEDOWNLOAD);
  EXPECT_EQ(cancel, VARIANT_FALSE) << "a page the control shows itself";
}

TEST(BrowserEvents, ReportTheLoadOfAFrame) {
  TReports reports;
  const ComPtr<IDispatch> sink = Sink(&reports);
  const ComPtr<IDispatch> frame = Sink(nullptr);  // any object stands for a frame
  TText address(L"http://127.0.0.1:19980/"), none(L"");
  VARIANT url = Text(address.text), flags = Number(0), target = Text(none.text), empty = Of(VT_EMPTY);
  VARIANT_BOOL cancel = VARIANT_FALSE;

  TEvent({Dispatch(frame.Get()), Reference(&url), Reference(&flags), Reference(&target), Reference(&empty),
          Reference(&empty), FlagOut(&cancel)})
      .RaiseOn(sink.Get(), DISPID_BEFORENAVIGATE2);
  EXPECT_EQ(cancel, VARIANT_FALSE) << "the page's own loads go on";
  TEvent({Dispatch(frame.Get()), Reference(&url)}).RaiseOn(sink.Get(), DISPID_NAVIGATECOMPLETE2);
  TEvent({Dispatch(frame.Get()), Reference(&url)}).RaiseOn(sink.Get(), DISPID_DOCUMENTCOMPLETE);
  VARIANT status = Number(static_cast<long>(0x800C0008));
  TEvent({Dispatch(frame.Get()), Reference(&url), Reference(&target), Reference(&status), FlagOut(&cancel)})
      .RaiseOn(sink.Get(), DISPID_NAVIGATEERROR);
  EXPECT_EQ(cancel, VARIANT_TRUE) << "the control's own error page";
  EXPECT_EQ(reports.heard,
            (std::vector<std::string>{"started", "shown", "shown", "failed " + std::to_string(long(0x800C0008))}));
}

TEST(EdgeDocumentMode, IsThisProgramsForItsUser) {
  constexpr const wchar_t* kFeature =
      L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
  wchar_t path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  const std::wstring program = std::wstring(path).substr(std::wstring(path).find_last_of(L'\\') + 1);
  const auto mode = [&] {
    DWORD value = 0, size = sizeof value;
    const LSTATUS status =
        RegGetValueW(HKEY_CURRENT_USER, kFeature, program.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size);
    return status == ERROR_SUCCESS ? value : 0;
  };
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kFeature, program.c_str());

  ASSERT_EQ(shell::UseEdgeDocumentMode(), ERROR_SUCCESS);
  EXPECT_EQ(mode(), 11001u);
  // An older mode left by someone else gives way.
  const DWORD old = 7000;
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kFeature, program.c_str(), REG_DWORD, &old, sizeof old), ERROR_SUCCESS);
  ASSERT_EQ(shell::UseEdgeDocumentMode(), ERROR_SUCCESS);
  EXPECT_EQ(mode(), 11001u);

  RegDeleteKeyValueW(HKEY_CURRENT_USER, kFeature, program.c_str());
}
