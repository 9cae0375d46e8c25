// A 1.2 KB receipt through the serial route into a pseudo-terminal read at the far
// end, line by line as the program sends it and, for comparison, in one write: the
// difference is the cost the route pays per line.
//
// The check before a payment (ReceiptPrinter::NotReady) on the same route: the line
// check alone (a printer known not to answer: what the check was before the printer
// was asked its state) is the baseline for a printer that answers, for a silent
// printer at the first payment after start (the full wait) and at every later one
// (bench/printer-state.sh prints the ratios and the time added).
#include <benchmark/benchmark.h>

#include <atomic>
#include <string>
#include <thread>

#include "receipt/ReceiptFraming.h"
#include "receipt/ReceiptPrinter.h"
#include "serial/SioComm.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TestSupport.h"

namespace {

// 32 lines of up to 42 columns: about 1.2 KB as the serial route frames it.
receipt::ReceiptLines FullReceipt() {
  receipt::ReceiptLines lines = {"\x1B@", "\x1B!\x10"};
  for (int i = 0; i < 28; ++i) lines.push_back(std::string(41, static_cast<char>('A' + i % 26)));
  lines.push_back("\n");
  lines.push_back("\x1Bi\n");
  return lines;
}

void Run(benchmark::State& state, bool lineByLine) {
  testsupport::TempDir dir;
  testsupport::PseudoTerminal line;
  line.LinkAs(dir.dir(), "COM3");
  serial::TSioComm sio(nullptr, {platform::SystemSerialDevices(), std::make_shared<serial::NoMainThread>(), dir.dir()});
  sio.SetPortNum(3);
  sio.SetBaudrate(serial::TSioBaudrate::br9600);
  sio.Open();
  receipt::ReceiptPrinter printer(sio, dir.dir());
  const receipt::ReceiptLines lines = FullReceipt();
  std::string stream;
  for (const auto& w : receipt::SerialRouteWrites(lines)) stream += w;
  for (auto _ : state) {
    if (lineByLine) printer.Print(lines, 3);
    else sio.WriteText(stream);
    line.Read(stream.size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
  state.counters["bytes"] = static_cast<double>(stream.size());
  state.counters["lines"] = static_cast<double>(lines.size());
}

void BM_SerialReceiptLineByLine(benchmark::State& state) { Run(state, true); }
void BM_SerialReceiptOneWrite(benchmark::State& state) { Run(state, false); }

// A printer on COM3 of a program directory, open as the terminal keeps it; with
// `answers`, its far end answers every status request "ready" on a thread.
class PrinterLine {
 public:
  explicit PrinterLine(bool answers) {
    line_.LinkAs(dir_.dir(), "COM3");
    sio_.SetPortNum(3);
    sio_.SetBaudrate(serial::TSioBaudrate::br9600);
    sio_.Open();
    if (answers)
      answerer_ = std::thread([this] {
        while (!stop_)
          if (line_.Read(receipt::kStatusRequest.size(), std::chrono::milliseconds(20)).size() ==
              receipt::kStatusRequest.size())
            line_.Send("\x12\x12\x12");
      });
  }
  ~PrinterLine() {
    stop_ = true;
    if (answerer_.joinable()) answerer_.join();
  }
  PrinterLine(const PrinterLine&) = delete;
  PrinterLine& operator=(const PrinterLine&) = delete;

  receipt::PrinterReadiness Ask(receipt::SilentPrinters& silent) {
    return receipt::ReceiptPrinter(sio_, dir_.dir(), silent).NotReady(3);
  }
  // What the silent printer was sent, so the line never fills.
  void Drain() { line_.Read(4096, std::chrono::milliseconds(0)); }

 private:
  testsupport::TempDir dir_;
  testsupport::PseudoTerminal line_;
  serial::TSioComm sio_{nullptr, {platform::SystemSerialDevices(), std::make_shared<serial::NoMainThread>(), dir_.dir()}};
  std::atomic<bool> stop_ = false;
  std::thread answerer_;
};

void BM_ReadinessLineCheckOnly(benchmark::State& state) {
  PrinterLine printer(false);
  receipt::SilentPrinters silent;
  silent.Add("COM3");
  for (auto _ : state) benchmark::DoNotOptimize(printer.Ask(silent));
}

void BM_ReadinessAnsweringPrinter(benchmark::State& state) {
  PrinterLine printer(true);
  receipt::SilentPrinters silent;
  for (auto _ : state)
    if (printer.Ask(silent).NotReady || silent.Known("COM3")) state.SkipWithError("the printer's answer was missed");
}

void BM_ReadinessSilentPrinterFirstPayment(benchmark::State& state) {
  PrinterLine printer(false);
  for (auto _ : state) {
    receipt::SilentPrinters silent;  // a fresh start
    benchmark::DoNotOptimize(printer.Ask(silent));
    state.PauseTiming();
    printer.Drain();
    state.ResumeTiming();
  }
}

void BM_ReadinessSilentPrinterLaterPayments(benchmark::State& state) {
  PrinterLine printer(false);
  receipt::SilentPrinters silent;
  printer.Ask(silent);  // the first payment after start waited
  for (auto _ : state) benchmark::DoNotOptimize(printer.Ask(silent));
}

}  // namespace

BENCHMARK(BM_ReadinessLineCheckOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadinessAnsweringPrinter)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadinessSilentPrinterFirstPayment)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_ReadinessSilentPrinterLaterPayments)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SerialReceiptLineByLine)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SerialReceiptOneWrite)->Unit(benchmark::kMicrosecond);
