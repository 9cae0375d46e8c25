#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// The run-time's input/output error: the system's error code and the run-time's
// text for it ("File access denied", "I/O error 5").
class InOutError : public std::runtime_error {
 public:
  explicit InOutError(int code);
  InOutError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
  int ErrorCode() const { return code_; }

 private:
  int code_;
};

// How long a write may wait without the printer taking a byte (out of paper,
// switched off, a reader that doesn't read) before the receipt ends in an error.
inline constexpr std::chrono::milliseconds kPrinterPortWriteLimit{10000};

// The printer port device opened for output as a new file: raw bytes, nothing
// converted. Every failure raises InOutError; the device is released on every path.
// A device that is not there is an error ("File not found"), unless `mayCreate`
// allows a plain file in its place. On Linux a write that the device takes nothing
// of for `writeLimit` since the last byte it took is an error too ("Write
// timeout"), never a hang; a printer out of paper says so ("Out of paper"), a plain
// file on a full disk too ("Disk full").
class PrinterPortFile {
 public:
  PrinterPortFile(const std::string& path, bool mayCreate, std::chrono::milliseconds writeLimit = kPrinterPortWriteLimit);
  ~PrinterPortFile();
  PrinterPortFile(const PrinterPortFile&) = delete;
  PrinterPortFile& operator=(const PrinterPortFile&) = delete;

  void Write(std::string_view bytes);
  void Close();

  // Whether the device opens for writing now, checked before a payment: raises what
  // the constructor would, writes nothing and leaves what a plain file holds. A FIFO
  // without a reader (a viewer that isn't running) does not open.
  static void CheckOpens(const std::string& path, bool mayCreate);

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;  // the system's descriptor or handle
  std::chrono::milliseconds writeLimit_;
  bool device_ = true;  // a printer device rather than a plain file or a FIFO
};

// What a printer device tells before a payment. On Linux: the parallel port's status
// lines where the LP driver has them, and the device's answer to `request` where it
// answers reads (a USB printer); a plain file or a FIFO in the device's place is
// neither written nor read. On Windows the port is opened as a file and nothing is
// asked. Never raises; the exchange takes at most about `limit`.
struct PrinterPortStatus {
  bool LinesRead = false;
  bool PaperOut = false;  // the lines' paper-out
  bool Offline = false;   // not selected, or the error line
  bool Asked = false;     // the request went out
  std::string Answer;     // what came back in time
};
PrinterPortStatus AskPrinterPortStatus(const std::string& path, std::string_view request, std::size_t answerSize,
                                       std::chrono::milliseconds limit);

}  // namespace platform
