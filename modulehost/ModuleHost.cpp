// vek-module-host.exe: a 32-bit Windows process that calls the payment module
// (VEKDLL.dll, stdcall) for the supervisor, which starts it under Wine. Each call is
// one exchange as the terminal makes it on Windows: load the library, look up the
// entry point, call it with two zeroed buffers, release the library. One call at a
// time, in the order they come.
//
// The channel is the standard input the supervisor hands over, a socket read and
// written here alone. Standard output and error are the supervisor's log: whatever
// else runs in this process (the module, the run-time library, Wine's debugger after
// a fault) writes there, never into the answers.
#include <io.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "modulehost/HostChannel.h"
#include "platform/system/CodeLocation.h"
#include "platform/system/DynamicLibrary.h"

namespace {

using modulehost::CallAnswer;
using modulehost::CallStatus;

// The payment module's entry point; the stdcall convention removes the arguments.
using EntryPoint = unsigned char(__stdcall*)(const char* server, int port, char* request, char* reply);
constexpr const char* kEntryPointName = "VEKDataProcPos";

void Log(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

// A fault that the module leaves unhandled ends the host at once, with a line in
// the log, before Wine would start its debugger. The supervisor sees the host end
// and answers that the outcome is unknown. Runs in a broken process: no heap.
LONG WINAPI EndOnFault(EXCEPTION_POINTERS* fault) {
  const DWORD code = fault->ExceptionRecord->ExceptionCode;
  char line[] = "vek-module-host.exe: the module raised exception 0x00000000; the host ends\n";
  char* digits = std::strstr(line, "0x") + 2;
  for (int i = 0; i < 8; ++i) digits[i] = "0123456789ABCDEF"[(code >> (28 - 4 * i)) & 0xF];
  Log(line);
  TerminateProcess(GetCurrentProcess(), code);
  return EXCEPTION_EXECUTE_HANDLER;
}

// Takes standard input as the channel: with write access, kept from any program
// this process starts (Wine's debugger among them); standard input itself
// becomes NUL, so nothing else reads from the channel.
HANDLE TakeChannel() {
  const HANDLE given = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE channel = nullptr;
  if (given == nullptr || given == INVALID_HANDLE_VALUE) return nullptr;
  SetHandleInformation(given, HANDLE_FLAG_INHERIT, 0);
  if (!DuplicateHandle(GetCurrentProcess(), given, GetCurrentProcess(), &channel, GENERIC_READ | GENERIC_WRITE,
                       FALSE, 0))
    return nullptr;
  if (std::freopen("NUL", "rb", stdin) != nullptr)
    SetStdHandle(STD_INPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdin))));
  return channel;
}

bool WriteAll(HANDLE channel, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    DWORD n = 0;
    if (!WriteFile(channel, bytes.data() + sent, static_cast<DWORD>(bytes.size() - sent), &n, nullptr) || n == 0)
      return false;
    sent += n;
  }
  return true;
}

// The supervisor names the module as Linux does ("/var/lib/..."); Wine gives the
// name of that file in this process's drives. Other names are taken as they are.
std::optional<std::string> WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  using ToDos = WCHAR*(CDECL*)(const char*);
  const auto toDos = reinterpret_cast<ToDos>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
  if (toDos == nullptr) return std::nullopt;
  WCHAR* wide = toDos(path.c_str());
  if (wide == nullptr) return std::nullopt;
  std::optional<std::string> converted;
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size > 1) {
    std::string ansi(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi.data(), size, nullptr, nullptr);
    ansi.resize(static_cast<std::size_t>(size - 1));
    converted = std::move(ansi);
  }
  HeapFree(GetProcessHeap(), 0, wide);
  return converted;
}

std::vector<HMODULE> LoadedLibraries() {
  std::vector<HMODULE> modules(1024);
  DWORD bytes = 0;
  if (!EnumProcessModules(GetCurrentProcess(), modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)),
                          &bytes))
    return {};
  modules.resize(std::min<std::size_t>(bytes / sizeof(HMODULE), modules.size()));
  return modules;
}

// The system's libraries that came in with the module stay loaded for the host's
// life; the module and the libraries beside it are released after each call. Wine
// can't load some of its libraries again in a process that has released them
// (Winsock: every call after the first would fail to connect).
void KeepSystemLibraries(const std::vector<HMODULE>& before) {
  char windows[MAX_PATH];
  const UINT length = GetSystemWindowsDirectoryA(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  for (const HMODULE module : LoadedLibraries()) {
    if (std::find(before.begin(), before.end(), module) != before.end()) continue;
    char file[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(module, file, MAX_PATH);
    if (n <= length || _strnicmp(file, windows, length) != 0 || file[length] != '\\') continue;
    HMODULE pinned = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(module), &pinned);
  }
}

CallAnswer CallModule(const modulehost::CallRequest& call) {
  const std::optional<std::string> path = WindowsPath(call.ModulePath);
  if (!path) return {CallStatus::NotLoaded, 0, {}};
  // The module runs in its own folder, as it does at a Windows counter, where the
  // terminal loads it from the current one: its files and the libraries it needs
  // are found there.
  const std::size_t slash = path->find_last_of("\\/");
  if (slash != std::string::npos) SetCurrentDirectoryA(path->substr(0, slash + 1).c_str());

  std::array<char, modulehost::kReplyBufferBytes> request{};
  std::array<char, modulehost::kReplyBufferBytes> reply{};
  std::memcpy(request.data(), call.Request.data(), call.Request.size());  // at most 1024 bytes: the codec's limit
  unsigned char result = 0;
  const std::vector<HMODULE> before = LoadedLibraries();
  {
    const auto library = platform::DynamicLibrary::Open(*path);
    if (!library) return {CallStatus::NotLoaded, 0, {}};
    KeepSystemLibraries(before);
    const auto entry = reinterpret_cast<EntryPoint>(library->Symbol(kEntryPointName));
    if (entry == nullptr) return {CallStatus::NoEntryPoint, 0, {}};
    result = entry(call.Server.c_str(), call.Port, request.data(), reply.data());
    KeepSystemLibraries(before);  // and those it loaded during the call
  }  // released here, so a module replaced meanwhile is the one the next call loads
  return {CallStatus::Answered, result, std::string(reply.data(), reply.size())};
}

}  // namespace

int main() {
  platform::RestrictLibrarySearch();
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(EndOnFault);
  const HANDLE channel = TakeChannel();
  if (channel == nullptr) {
    Log("vek-module-host.exe: no channel on standard input; the supervisor starts this program\n");
    return 2;
  }
  if (!WriteAll(channel, modulehost::Encode(modulehost::HostReady{}))) return 1;

  std::string received;
  for (;;) {
    const auto decoded = modulehost::Decode(received);
    if (decoded.Is == modulehost::Decoded::State::Malformed) {
      Log("vek-module-host.exe: a malformed call; the host ends\n");
      return 1;
    }
    if (decoded.Is == modulehost::Decoded::State::Complete) {
      received.erase(0, decoded.Consumed);
      const auto* call = std::get_if<modulehost::CallRequest>(&decoded.Value);
      const CallAnswer answer = call ? CallModule(*call) : CallAnswer{CallStatus::BadRequest, 0, {}};
      if (!WriteAll(channel, modulehost::Encode(answer))) return 1;
      continue;
    }
    char buffer[4096];
    DWORD n = 0;
    if (!ReadFile(channel, buffer, sizeof buffer, &n, nullptr) || n == 0) return 0;  // the supervisor has gone
    received.append(buffer, n);
  }
}
