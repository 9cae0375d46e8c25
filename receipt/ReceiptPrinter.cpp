#include "ReceiptPrinter.h"

#include "ReceiptFraming.h"
#include "platform/system/PrinterPort.h"

namespace receipt {

PrinterTimedOut::PrinterTimedOut(std::int32_t PrinterPort)
    : std::runtime_error("Write timeout (COM" + std::to_string(PrinterPort) + "), the receipt was not printed") {}

void ReceiptPrinter::Print(const ReceiptLines& Lines, std::int32_t PrinterPort) {
  if (PrinterPort == 0) return PrintToPrinterPort(Lines, platform::ResolveDevice("LPT1", programDirectory_));
  for (const std::string& write : SerialRouteWrites(Lines))
    if (!sio_.WriteText(write)) throw PrinterTimedOut(PrinterPort);
}

std::optional<std::string> ReceiptPrinter::NotReady(std::int32_t PrinterPort) {
  try {
    if (PrinterPort == 0) {
      const platform::ResolvedDevice device = platform::ResolveDevice("LPT1", programDirectory_);
      platform::PrinterPortFile::CheckOpens(device.Path, device.MayCreate);
    } else {
      sio_.CheckLine();
    }
  } catch (const std::exception& error) {
    return error.what();
  }
  return std::nullopt;
}

void PrintToPrinterPort(const ReceiptLines& Lines, const platform::ResolvedDevice& device,
                        std::chrono::milliseconds writeLimit) {
  platform::PrinterPortFile port(device.Path, device.MayCreate, writeLimit);
  for (const std::string& write : PrinterPortWrites(Lines)) port.Write(write);
  port.Close();
}

}  // namespace receipt
