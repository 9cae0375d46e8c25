#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/system/DeviceNames.h"
#include "platform/system/PrinterPort.h"
#include "receipt/PrinterStatus.h"
#include "receipt/ReceiptLines.h"
#include "serial/SioComm.h"

namespace receipt {

// A serial printer that did not take a line within the write time limit: the receipt
// ends there, nothing after the line is sent, and the operator is told.
class PrinterTimedOut : public std::runtime_error {
 public:
  explicit PrinterTimedOut(std::int32_t PrinterPort);
};

// Sends a receipt to the printer: through the serial component when the printer
// port setting is not 0, else to the printer port device "LPT1". Errors are not
// caught here: an ESioCommError, a PrinterTimedOut or a platform::InOutError ends
// the output at the failing line and reaches the caller.
class ReceiptPrinter {
 public:
  // `Silent` remembers the printers that don't answer the status request, across
  // printer objects; without it this object remembers them itself.
  ReceiptPrinter(serial::TSioCustomComm& Sio, std::string ProgramDirectory)
      : sio_(Sio), programDirectory_(std::move(ProgramDirectory)) {}
  ReceiptPrinter(serial::TSioCustomComm& Sio, std::string ProgramDirectory, SilentPrinters& Silent)
      : sio_(Sio), programDirectory_(std::move(ProgramDirectory)), silent_(&Silent) {}
  ReceiptPrinter(const ReceiptPrinter&) = delete;
  ReceiptPrinter& operator=(const ReceiptPrinter&) = delete;

  void Print(const ReceiptLines& Lines, std::int32_t PrinterPort);

  // Checked before a payment that will print: the serial port is open and its device
  // still there, or the printer port device opens for writing (the error text the
  // receipt itself would end with); then, where the line has a back channel, the
  // printer's own state: paper end, an open cover or offline keep it from printing,
  // a roll near its end is a warning. A printer that doesn't answer in time is taken
  // as ready, and not asked again.
  PrinterReadiness NotReady(std::int32_t PrinterPort);

 private:
  std::optional<PrinterState> AskSerialPrinter(const std::string& name);
  std::optional<PrinterState> AskPrinterPort(const std::string& path);

  serial::TSioCustomComm& sio_;
  std::string programDirectory_;
  SilentPrinters ownSilent_;
  SilentPrinters* silent_ = &ownSilent_;
};

// The printer-port route on its own: the device, opened anew.
void PrintToPrinterPort(const ReceiptLines& Lines, const platform::ResolvedDevice& device,
                        std::chrono::milliseconds writeLimit = platform::kPrinterPortWriteLimit);

}  // namespace receipt
