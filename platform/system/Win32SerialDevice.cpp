#include <windows.h>

#include <cstddef>
#include <cstring>

#include "platform/system/SerialDevice.h"

// The communications API the serial component was designed on, with overlapped
// input and output: the event thread's wait and a write of the main thread are
// pending on one handle at the same time, each with its own completion event.
namespace platform {
namespace {

// The flag word of a DCB follows its length and baud rate.
constexpr std::size_t kFlagsOffset = 2 * sizeof(DWORD);

int LastError() { return static_cast<int>(GetLastError()); }

class OwnedEvent {
 public:
  OwnedEvent() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~OwnedEvent() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  OwnedEvent(const OwnedEvent&) = delete;
  OwnedEvent& operator=(const OwnedEvent&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

class Win32SerialDevice final : public SerialDevice {
 public:
  explicit Win32SerialDevice(HANDLE handle) : handle_(handle) {}
  ~Win32SerialDevice() override { CloseHandle(handle_); }

  int GetState(LineSettings& s) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) return LastError();
    s.BaudRate = dcb.BaudRate;
    std::memcpy(&s.Flags, reinterpret_cast<const char*>(&dcb) + kFlagsOffset, sizeof s.Flags);
    s.XonLim = dcb.XonLim;
    s.XoffLim = dcb.XoffLim;
    s.ByteSize = dcb.ByteSize;
    s.Parity = dcb.Parity;
    s.StopBits = dcb.StopBits;
    s.XonChar = static_cast<std::uint8_t>(dcb.XonChar);
    s.XoffChar = static_cast<std::uint8_t>(dcb.XoffChar);
    s.ErrorChar = static_cast<std::uint8_t>(dcb.ErrorChar);
    s.EofChar = static_cast<std::uint8_t>(dcb.EofChar);
    s.EvtChar = static_cast<std::uint8_t>(dcb.EvtChar);
    return 0;
  }

  int SetState(const LineSettings& s) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = s.BaudRate;
    std::memcpy(reinterpret_cast<char*>(&dcb) + kFlagsOffset, &s.Flags, sizeof s.Flags);
    dcb.XonLim = s.XonLim;
    dcb.XoffLim = s.XoffLim;
    dcb.ByteSize = s.ByteSize;
    dcb.Parity = s.Parity;
    dcb.StopBits = s.StopBits;
    dcb.XonChar = static_cast<char>(s.XonChar);
    dcb.XoffChar = static_cast<char>(s.XoffChar);
    dcb.ErrorChar = static_cast<char>(s.ErrorChar);
    dcb.EofChar = static_cast<char>(s.EofChar);
    dcb.EvtChar = static_cast<char>(s.EvtChar);
    return SetCommState(handle_, &dcb) ? 0 : LastError();
  }

  int SetTimeouts() override {
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
    return SetCommTimeouts(handle_, &t) ? 0 : LastError();
  }

  int SetupQueues(std::int32_t readSize, std::int32_t writeSize) override {
    return SetupComm(handle_, static_cast<DWORD>(readSize), static_cast<DWORD>(writeSize)) ? 0 : LastError();
  }

  int SetEventMask(std::uint32_t mask) override { return SetCommMask(handle_, mask) ? 0 : LastError(); }

  int Purge() override {
    return PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) ? 0 : LastError();
  }

  int Write(std::string_view bytes, std::chrono::milliseconds timeout, WriteOutcome& outcome) override {
    outcome = {};
    if (bytes.empty()) {
      outcome.Completed = true;
      return 0;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = writeDone_.Get();
    ResetEvent(overlapped.hEvent);
    DWORD written = 0;
    if (!WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &overlapped)) {
      if (GetLastError() != ERROR_IO_PENDING) return LastError();
      const DWORD limit = timeout.count() < 0 ? INFINITE : static_cast<DWORD>(timeout.count());
      if (WaitForSingleObject(overlapped.hEvent, limit) != WAIT_OBJECT_0) {
        // Too late: this write is ended, so the rest of it never prints and nothing
        // refers to this record once we return. The queue is not purged: what it
        // holds of earlier writes was reported written and must still print.
        CancelIoEx(handle_, &overlapped);
        GetOverlappedResult(handle_, &overlapped, &written, TRUE);
        outcome.Transferred = written;
        return 0;
      }
    }
    if (!GetOverlappedResult(handle_, &overlapped, &written, FALSE)) {
      // A write aborted before its end (cancelled or purged as it timed out, or
      // ended by the driver's own time-out) took what it reports: the count stands,
      // and the caller tells a short one as the printer's time-out, not as a write
      // error.
      const DWORD error = GetLastError();
      if (error != ERROR_OPERATION_ABORTED && error != ERROR_SEM_TIMEOUT && error != ERROR_TIMEOUT)
        return static_cast<int>(error);
    }
    outcome = {written == bytes.size(), written};
    return 0;
  }

  int WaitSent(std::chrono::milliseconds timeout, bool& sent) override {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout.count() < 0 ? 0 : timeout.count());
    for (;;) {
      DWORD flags = 0;
      COMSTAT status{};
      if (!ClearCommError(handle_, &flags, &status)) return LastError();
      sent = status.cbOutQue == 0;
      if (sent || (timeout.count() >= 0 && GetTickCount64() >= deadline)) return 0;
      Sleep(10);
    }
  }

  // The port's time-outs make a read return at once with what is queued (SetTimeouts),
  // so the wait for more is kept here, in short steps.
  int Read(char* buffer, std::size_t size, std::chrono::milliseconds timeout, std::size_t& got) override {
    got = 0;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout.count() < 0 ? 0 : timeout.count());
    while (got < size) {
      OVERLAPPED overlapped{};
      overlapped.hEvent = readDone_.Get();
      ResetEvent(overlapped.hEvent);
      DWORD read = 0;
      if (!ReadFile(handle_, buffer + got, static_cast<DWORD>(size - got), nullptr, &overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING) return LastError();
        if (WaitForSingleObject(overlapped.hEvent, 1000) != WAIT_OBJECT_0) {
          // A driver that doesn't keep to the time-outs: the read ends here, before
          // the record goes out of scope.
          CancelIoEx(handle_, &overlapped);
          GetOverlappedResult(handle_, &overlapped, &read, TRUE);
          got += read;
          return 0;
        }
      }
      if (!GetOverlappedResult(handle_, &overlapped, &read, FALSE)) return LastError();
      got += read;
      if (got >= size || GetTickCount64() >= deadline) return 0;
      if (read == 0) Sleep(2);
    }
    return 0;
  }

  int PurgeInput() override { return PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR) ? 0 : LastError(); }

  int CheckLine() override {
    DWORD flags = 0;
    COMSTAT status{};
    return ClearCommError(handle_, &flags, &status) ? 0 : LastError();
  }

  int WaitEvents(WaitHandle wake, std::uint32_t& events) override {
    events = 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = eventArrived_.Get();
    ResetEvent(overlapped.hEvent);
    DWORD mask = 0;
    if (WaitCommEvent(handle_, &mask, &overlapped)) {
      events = mask;
      return 0;
    }
    if (GetLastError() != ERROR_IO_PENDING) return LastError();
    const HANDLE handles[2] = {overlapped.hEvent, reinterpret_cast<HANDLE>(wake)};
    const DWORD rc = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    DWORD unused = 0;
    if (rc != WAIT_OBJECT_0) {
      // Woken (or the wait failed): the pending wait ends here, before the record
      // and the mask it writes go out of scope.
      CancelIoEx(handle_, &overlapped);
      GetOverlappedResult(handle_, &overlapped, &unused, TRUE);
      return rc == WAIT_OBJECT_0 + 1 ? 0 : LastError();
    }
    if (!GetOverlappedResult(handle_, &overlapped, &unused, FALSE)) return LastError();
    events = mask;
    return 0;
  }

  int ClearErrors(std::uint32_t& errors, std::uint32_t& inQueue) override {
    DWORD flags = 0;
    COMSTAT status{};
    if (!ClearCommError(handle_, &flags, &status)) return LastError();
    errors = flags;
    inQueue = status.cbInQue;
    return 0;
  }

 private:
  HANDLE handle_;
  OwnedEvent writeDone_;
  OwnedEvent readDone_;
  OwnedEvent eventArrived_;
};

class Win32Opener final : public SerialDeviceOpener {
 public:
  std::unique_ptr<SerialDevice> Open(const std::string& path, int& error) override {
    if (path.empty()) {
      error = ERROR_FILE_NOT_FOUND;
      return nullptr;
    }
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      error = LastError();
      return nullptr;
    }
    error = 0;
    return std::make_unique<Win32SerialDevice>(handle);
  }
};

}  // namespace

std::shared_ptr<SerialDeviceOpener> SystemSerialDevices() { return std::make_shared<Win32Opener>(); }

}  // namespace platform
