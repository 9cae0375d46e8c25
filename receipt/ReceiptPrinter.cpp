#include "ReceiptPrinter.h"

#include "ReceiptFraming.h"
#include "platform/PrinterPort.h"

namespace receipt {

void ReceiptPrinter::Print(const ReceiptLines& Lines, std::int32_t PrinterPort) {
  if (PrinterPort == 0) return PrintToPrinterPort(Lines, platform::ResolveDevice("LPT1", programDirectory_));
  // A write that times out goes unnoticed; an error raised ends the receipt.
  for (const std::string& write : SerialRouteWrites(Lines)) sio_.WriteText(write);
}

void PrintToPrinterPort(const ReceiptLines& Lines, const platform::ResolvedDevice& device) {
  platform::PrinterPortFile port(device.Path, device.MayCreate);
  for (const std::string& write : PrinterPortWrites(Lines)) port.Write(write);
  port.Close();
}

}  // namespace receipt
