#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/system/WaitableEvent.h"

// A serial device as the serial component sees it: the operations of the Windows
// communications API it was designed on, each reporting failure with the system's code
// (0 is success). Two threads use one device at once: the event thread waits for
// events while the main thread writes and reads the settings.
namespace platform {

// The line settings record (the layout of a Windows DCB).
struct LineSettings {
  std::uint32_t BaudRate = 9600;
  std::uint32_t Flags = 0;  // the dcb:: bits below
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 8;
  std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  std::uint8_t XonChar = 17;
  std::uint8_t XoffChar = 19;
  std::uint8_t ErrorChar = 0;
  std::uint8_t EofChar = 0;
  std::uint8_t EvtChar = 0;

  bool operator==(const LineSettings&) const = default;
};

namespace dcb {
inline constexpr std::uint32_t fBinary = 0x0001;
inline constexpr std::uint32_t fParity = 0x0002;
inline constexpr std::uint32_t fOutxCtsFlow = 0x0004;
inline constexpr std::uint32_t fOutxDsrFlow = 0x0008;
inline constexpr std::uint32_t fDtrControlMask = 0x0030;  // 0x10 enable, 0x20 handshake
inline constexpr std::uint32_t fDsrSensitivity = 0x0040;
inline constexpr std::uint32_t fTXContinueOnXoff = 0x0080;
inline constexpr std::uint32_t fOutX = 0x0100;
inline constexpr std::uint32_t fInX = 0x0200;
inline constexpr std::uint32_t fErrorChar = 0x0400;
inline constexpr std::uint32_t fNull = 0x0800;
inline constexpr std::uint32_t fRtsControlMask = 0x3000;  // 0x1000 enable, 0x2000 handshake, 0x3000 toggle
inline constexpr std::uint32_t fAbortOnError = 0x4000;
inline constexpr std::uint32_t DtrEnable = 0x0010;
inline constexpr std::uint32_t DtrHandshake = 0x0020;
inline constexpr std::uint32_t RtsEnable = 0x1000;
inline constexpr std::uint32_t RtsHandshake = 0x2000;
inline constexpr std::uint32_t RtsToggle = 0x3000;  // both bits of the RTS field, not a bit of its own
}  // namespace dcb

// Port events (a wait reports a set of them).
namespace ev {
inline constexpr std::uint32_t RxChar = 0x0001;
inline constexpr std::uint32_t RxFlag = 0x0002;
inline constexpr std::uint32_t TxEmpty = 0x0004;
inline constexpr std::uint32_t Cts = 0x0008;
inline constexpr std::uint32_t Dsr = 0x0010;
inline constexpr std::uint32_t Rlsd = 0x0020;
inline constexpr std::uint32_t Break = 0x0040;
inline constexpr std::uint32_t Err = 0x0080;
inline constexpr std::uint32_t Ring = 0x0100;
inline constexpr std::uint32_t Rx80Full = 0x0400;
inline constexpr std::uint32_t Event1 = 0x0800;
inline constexpr std::uint32_t Event2 = 0x1000;
}  // namespace ev

// Line error flags (ClearErrors).
namespace ce {
inline constexpr std::uint32_t RxOver = 0x0001;
inline constexpr std::uint32_t Overrun = 0x0002;
inline constexpr std::uint32_t RxParity = 0x0004;
inline constexpr std::uint32_t Frame = 0x0008;
inline constexpr std::uint32_t Break = 0x0010;
}  // namespace ce

struct WriteOutcome {
  bool Completed = false;       // every byte left the output queue in time
  std::size_t Transferred = 0;  // bytes that left it
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;  // closes the device

  virtual int GetState(LineSettings& settings) = 0;
  virtual int SetState(const LineSettings& settings) = 0;
  // Reads return at once with what is queued; writes have no limit in the driver.
  virtual int SetTimeouts() = 0;
  virtual int SetupQueues(std::int32_t readSize, std::int32_t writeSize) = 0;
  virtual int SetEventMask(std::uint32_t mask) = 0;
  // Aborts transfers and discards both queues, unsent output included.
  virtual int Purge() = 0;
  // Writes and waits until the bytes have left the output queue or `timeout` has
  // passed (negative: no limit). A non-zero result means the write failed at once;
  // a write that can't finish in time is ended, its unsent bytes discarded.
  virtual int Write(std::string_view bytes, std::chrono::milliseconds timeout, WriteOutcome& outcome) = 0;
  // Waits until the output queue is empty or `timeout` has passed; `sent` says
  // which. A purge (and so a close) would discard what is still queued.
  virtual int WaitSent(std::chrono::milliseconds timeout, bool& sent) = 0;
  // Reads what arrives until `buffer` is full or `timeout` has passed since the call;
  // `got` says how much came. Bytes that came before the call are read too.
  virtual int Read(char* buffer, std::size_t size, std::chrono::milliseconds timeout, std::size_t& got) = 0;
  // Discards what has arrived and not been read.
  virtual int PurgeInput() = 0;
  // Whether the device is still there (a USB adapter pulled out, the far end of a
  // pseudo-terminal closed): 0, or the error a write would now fail with.
  virtual int CheckLine() = 0;
  // Blocks until an event of the mask arrives (events != 0) or `wake` is
  // signalled (events == 0).
  virtual int WaitEvents(WaitHandle wake, std::uint32_t& events) = 0;
  // Gives and clears the line error flags, and the bytes waiting to be read.
  virtual int ClearErrors(std::uint32_t& errors, std::uint32_t& inQueue) = 0;
};

// Opens devices by path. ENOENT means there is no such device.
class SerialDeviceOpener {
 public:
  virtual ~SerialDeviceOpener() = default;
  virtual std::unique_ptr<SerialDevice> Open(const std::string& path, int& error) = 0;
};

// The system's serial devices: on Linux through termios, exclusive (flock), non-blocking
// and raw; on Windows through the communications API with overlapped input and output.
std::shared_ptr<SerialDeviceOpener> SystemSerialDevices();

}  // namespace platform
