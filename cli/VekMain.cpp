// vek: the terminal's commands without a window (vek --help).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Vek.h"
#include "payment/TerminalPaymentModule.h"
#include "platform/ProgramDirectory.h"
#include "platform/SerialDevice.h"
#include "receipt/ReceiptPrinter.h"
#include "serial/SioComm.h"

namespace {

// The terminal's printer for one receipt: the serial port is opened for it at
// 9600 baud when the settings name one, and closed again.
void PrintReceipt(const receipt::ReceiptLines& lines, const settings::MerchantSettings& settings) {
  serial::TSioComm sio(nullptr, {platform::SystemSerialDevices(), std::make_shared<serial::NoMainThread>(),
                                 settings.ProgramDirectory});
  sio.SetBaudrate(serial::TSioBaudrate::br9600);
  if (settings.PrinterPort > 0) {
    sio.SetPortNum(settings.PrinterPort);
    sio.Open();
  }
  receipt::ReceiptPrinter(sio, settings.ProgramDirectory).Print(lines, settings.PrinterPort);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const settings::MerchantSettings settings = settings::LoadMerchantSettings(platform::ProgramDirectory());
  const auto module = payment::TerminalPaymentModule();
  const cli::VekResult result =
      cli::RunVek(args, settings, *module, [&](const receipt::ReceiptLines& lines) { PrintReceipt(lines, settings); });
  std::fwrite(result.Out.data(), 1, result.Out.size(), stdout);
  std::fwrite(result.Err.data(), 1, result.Err.size(), stderr);
  return result.Status;
}
