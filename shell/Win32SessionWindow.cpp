#include <windows.h>

#include <string>

#include "shell/SessionWindow.h"

namespace shell {
namespace {

// "Local\": the namespace of this log-on session (each session has its own counter).
constexpr wchar_t kMutexName[] = L"Local\\VEK Terminal window";

std::wstring ProgramPath(HANDLE process) {
  std::wstring path(32768, L'\0');
  DWORD size = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(process, 0, path.data(), &size)) return {};
  path.resize(size);
  return path;
}

struct Search {
  std::wstring program;
  HWND found = nullptr;
};

// The main window of another process of this same program: shown, owned by no other
// window (its message boxes are owned by it).
BOOL CALLBACK Consider(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<Search*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() || !IsWindowVisible(window) || GetWindow(window, GW_OWNER)) return TRUE;
  const HANDLE other = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
  if (!other) return TRUE;
  const std::wstring path = ProgramPath(other);
  ::CloseHandle(other);
  if (path.empty() || CompareStringOrdinal(path.c_str(), -1, search.program.c_str(), -1, TRUE) != CSTR_EQUAL)
    return TRUE;
  search.found = window;
  return FALSE;
}

// The first start's window forward, with the box it may be showing on top. Raised
// over the other windows first: the system hands the foreground on only to a start
// the user made (a shortcut, the Start menu), and Wine restacks its windows on the
// display only when their order changes. A first start that shows no window yet
// will soon show one of its own.
void BringForward() {
  Search search{ProgramPath(GetCurrentProcess())};
  if (search.program.empty()) return;
  EnumWindows(Consider, reinterpret_cast<LPARAM>(&search));
  if (!search.found) return;
  if (IsIconic(search.found)) ShowWindow(search.found, SW_RESTORE);
  SetWindowPos(search.found, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(GetLastActivePopup(search.found));
}

}  // namespace

void SessionWindow::CloseHandle::operator()(void* handle) const { ::CloseHandle(handle); }

SessionWindow::SessionWindow() {
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
  const DWORD error = GetLastError();
  mutex_.reset(mutex);
  // Taken by the first start (refused to this one when that one runs with more
  // rights, as administrator). Not made for another reason: the window starts.
  if (error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED)) {
    first_ = false;
    mutex_.reset();
    BringForward();
    return;
  }
  DisableProcessWindowsGhosting();
}

SessionWindow::~SessionWindow() = default;

}  // namespace shell
