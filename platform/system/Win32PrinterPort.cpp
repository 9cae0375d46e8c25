#include <windows.h>

#include <utility>

#include "platform/system/PrinterPort.h"

namespace platform {
namespace {

std::string RunTimeText(int code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return "File not found";
    case ERROR_PATH_NOT_FOUND: return "Path not found";
    case ERROR_TOO_MANY_OPEN_FILES: return "Too many open files";
    case ERROR_ACCESS_DENIED: return "File access denied";
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL: return "Disk full";
    case ERROR_OUT_OF_PAPER: return "Out of paper (LPT1), the receipt was not printed";
    default: return "I/O error " + std::to_string(code);
  }
}

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

InOutError::InOutError(int code) : std::runtime_error(RunTimeText(code)), code_(code) {}

// The system's own printer-port time-outs bound a write here.
PrinterPortFile::PrinterPortFile(const std::string& path, bool mayCreate, std::chrono::milliseconds writeLimit)
    : writeLimit_(writeLimit) {
  const HANDLE handle = path.empty() ? INVALID_HANDLE_VALUE
                                     : CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                   mayCreate ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                   nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    throw InOutError(path.empty() ? ERROR_FILE_NOT_FOUND : static_cast<int>(GetLastError()));
  handle_ = reinterpret_cast<std::intptr_t>(handle);
}

void PrinterPortFile::CheckOpens(const std::string& path, bool mayCreate) {
  const HANDLE handle =
      path.empty() ? INVALID_HANDLE_VALUE
                   : CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, mayCreate ? OPEN_ALWAYS : OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    throw InOutError(path.empty() ? ERROR_FILE_NOT_FOUND : static_cast<int>(GetLastError()));
  CloseHandle(handle);
}

PrinterPortFile::~PrinterPortFile() {
  if (handle_ != kClosed) CloseHandle(Handle(handle_));
}

void PrinterPortFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(Handle(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
      throw InOutError(static_cast<int>(GetLastError()));
    if (written == 0) throw InOutError(ERROR_WRITE_FAULT);
    bytes.remove_prefix(written);
  }
}

void PrinterPortFile::Close() {
  const HANDLE handle = Handle(std::exchange(handle_, kClosed));
  if (!CloseHandle(handle)) throw InOutError(static_cast<int>(GetLastError()));
}

// LPT1 is opened as a file: it has no back channel the program could read.
PrinterPortStatus AskPrinterPortStatus(const std::string&, std::string_view, std::size_t, std::chrono::milliseconds) {
  return {};
}

}  // namespace platform
