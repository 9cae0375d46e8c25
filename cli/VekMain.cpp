// vek: the terminal's commands without a window (vek --help).
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Vek.h"
#include "payment/TerminalPaymentModule.h"
#include "platform/system/CodeLocation.h"
#include "platform/system/CommandLine.h"
#include "platform/system/ProgramDirectory.h"
#include "platform/system/RegionalSettings.h"
#include "platform/system/SerialDevice.h"
#include "platform/system/StandardOutput.h"
#include "receipt/ReceiptPrinter.h"
#include "serial/SioComm.h"

namespace {

// The terminal's printer for one run. A serial printer is opened at 9600 baud when
// an operation that prints asks whether it can (before the payment), and closed at
// the end, once what was written has left the port.
class TerminalPrinter {
 public:
  explicit TerminalPrinter(const settings::MerchantSettings& settings)
      : settings_(settings),
        sio_(nullptr, {platform::SystemSerialDevices(), std::make_shared<serial::NoMainThread>(),
                       settings.ProgramDirectory}),
        printer_(sio_, settings.ProgramDirectory) {
    sio_.SetBaudrate(serial::TSioBaudrate::br9600);
  }

  receipt::PrinterReadiness NotReady() {
    if (settings_.PrinterPort > 0 && !sio_.IsOpen()) {
      try {
        sio_.SetPortNum(settings_.PrinterPort);
        sio_.Open();
      } catch (const std::exception& error) {
        return {.NotReady = error.what()};
      }
    }
    return printer_.NotReady(settings_.PrinterPort);
  }

  void Print(const receipt::ReceiptLines& lines) {
    printer_.Print(lines, settings_.PrinterPort);
    if (sio_.IsOpen() && !sio_.WaitSent()) throw receipt::PrinterTimedOut(settings_.PrinterPort);
  }

 private:
  const settings::MerchantSettings& settings_;
  serial::TSioComm sio_;
  receipt::ReceiptPrinter printer_;
};

}  // namespace

int main(int argc, char** argv) {
  platform::RestrictLibrarySearch();
  const std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
  const settings::MerchantSettings settings = settings::LoadMerchantSettings(platform::ProgramDirectory());
  const auto module = payment::TerminalPaymentModule();
  TerminalPrinter printer(settings);
  journal::ReceiptDesk desk(settings);
  const cli::VekTerminal terminal{
      settings,
      *module,
      {[&] { return printer.NotReady(); }, [&](const receipt::ReceiptLines& lines) { printer.Print(lines); }},
      desk,
      platform::ThousandsSeparator()};
  const cli::VekResult result = cli::RunVek(args, terminal);
  platform::WriteStandard(platform::StandardStream::Output, result.Out);
  platform::WriteStandard(platform::StandardStream::Error, result.Err);
  return result.Status;
}
