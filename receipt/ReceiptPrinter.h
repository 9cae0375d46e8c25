#pragma once

#include <cstdint>
#include <string>

#include "receipt/ReceiptLines.h"
#include "platform/DeviceNames.h"
#include "serial/SioComm.h"

namespace receipt {

// Sends a receipt to the printer: through the serial component when the printer
// port setting is not 0, else to the printer port device "LPT1". Errors are not
// caught here: an ESioCommError or a platform::InOutError ends the output at the
// failing line and reaches the caller.
class ReceiptPrinter {
 public:
  ReceiptPrinter(serial::TSioCustomComm& Sio, std::string ProgramDirectory)
      : sio_(Sio), programDirectory_(std::move(ProgramDirectory)) {}

  void Print(const ReceiptLines& Lines, std::int32_t PrinterPort);

 private:
  serial::TSioCustomComm& sio_;
  std::string programDirectory_;
};

// The printer-port route on its own: the device, opened anew.
void PrintToPrinterPort(const ReceiptLines& Lines, const platform::ResolvedDevice& device);

}  // namespace receipt
