// A 1.2 KB receipt through the serial route into a pseudo-terminal read at the far
// end, line by line as the program sends it and, for comparison, in one write: the
// difference is the cost the route pays per line.
#include <benchmark/benchmark.h>

#include <string>

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

}  // namespace

BENCHMARK(BM_SerialReceiptLineByLine)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SerialReceiptOneWrite)->Unit(benchmark::kMicrosecond);
