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

PrinterReadiness ReceiptPrinter::NotReady(std::int32_t PrinterPort) {
  std::optional<PrinterState> state;
  const std::string name = PrinterPort == 0 ? "LPT1" : "COM" + std::to_string(PrinterPort);
  try {
    if (PrinterPort == 0) {
      const platform::ResolvedDevice device = platform::ResolveDevice("LPT1", programDirectory_);
      platform::PrinterPortFile::CheckOpens(device.Path, device.MayCreate);
      state = AskPrinterPort(device.Path);
    } else {
      sio_.CheckLine();
      state = AskSerialPrinter(name);
    }
  } catch (const std::exception& error) {
    return {.NotReady = error.what()};
  }
  if (!state) return {};
  std::optional<std::string> text = StateText(*state, name);
  if (*state == PrinterState::PaperNearEnd) return {.Warning = std::move(text)};
  return {.NotReady = std::move(text)};
}

namespace {

// The status exchange keeps to its own short limit, whatever the port's are; they
// are put back when it ends.
class StatusExchangeLimits {
 public:
  explicit StatusExchangeLimits(serial::TSioCustomComm& sio)
      : sio_(sio), read_(sio.ReadTimeout()), write_(sio.WriteTimeout()) {
    const auto limit = static_cast<std::int32_t>(kStatusAnswerLimit.count());
    sio.SetReadTimeout(limit);
    sio.SetWriteTimeout(limit);
  }
  ~StatusExchangeLimits() {
    sio_.SetReadTimeout(read_);
    sio_.SetWriteTimeout(write_);
  }
  StatusExchangeLimits(const StatusExchangeLimits&) = delete;
  StatusExchangeLimits& operator=(const StatusExchangeLimits&) = delete;

 private:
  serial::TSioCustomComm& sio_;
  std::int32_t read_, write_;
};

}  // namespace

// A line that doesn't take the request in time is held by the printer's flow
// control: it would not take the receipt either, so the payment is not made (and the
// line is asked again next time, not taken for one without a back channel).
std::optional<PrinterState> ReceiptPrinter::AskSerialPrinter(const std::string& name) {
  if (silent_->Known(name)) return std::nullopt;
  const StatusExchangeLimits limits(sio_);
  sio_.PurgeRead();  // a late answer to an earlier request is not this one's
  if (!sio_.WriteText(kStatusRequest)) return PrinterState::Offline;
  std::string answer(kStatusAnswerSize, '\0');
  const std::int32_t got = sio_.ReadBuf(answer.data(), static_cast<std::int32_t>(answer.size()));
  if (got == 0) silent_->Add(name);
  answer.resize(static_cast<std::size_t>(got));
  return DecodeStatus(answer);
}

std::optional<PrinterState> ReceiptPrinter::AskPrinterPort(const std::string& path) {
  const bool ask = !silent_->Known("LPT1");
  const platform::PrinterPortStatus status =
      platform::AskPrinterPortStatus(path, ask ? kStatusRequest : std::string_view(), kStatusAnswerSize,
                                     kStatusAnswerLimit);
  if (status.Asked && status.Answer.empty()) silent_->Add("LPT1");
  const std::optional<PrinterState> answered = DecodeStatus(status.Answer);
  if (status.LinesRead && status.PaperOut) return PrinterState::PaperEnd;
  // The answer names the cause more closely than the lines do.
  if (answered && *answered != PrinterState::Ready) return answered;
  if (status.LinesRead && status.Offline) return PrinterState::Offline;
  return answered;
}

void PrintToPrinterPort(const ReceiptLines& Lines, const platform::ResolvedDevice& device,
                        std::chrono::milliseconds writeLimit) {
  platform::PrinterPortFile port(device.Path, device.MayCreate, writeLimit);
  for (const std::string& write : PrinterPortWrites(Lines)) port.Write(write);
  port.Close();
}

}  // namespace receipt
