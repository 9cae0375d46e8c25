// A 1.2 KB receipt through the serial route into a pseudo-terminal read at the far
// end, line by line as the program sends it and, for comparison, in one write: the
// difference is the cost the route pays per line.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "receipt/ReceiptFraming.h"
#include "receipt/ReceiptPrinter.h"
#include "serial/SioComm.h"

namespace {

// No events are monitored, so nothing is ever handed over.
class NoMainThread final : public serial::MainThreadInvoker {
 public:
  void Post(std::function<void()>) override {}
  bool ApplicationTerminating() const override { return false; }
  void ShowException(const std::exception&) override {}
};

class PrinterLine {
 public:
  PrinterLine() : dir_(std::filesystem::temp_directory_path() / ("vek-bench-" + std::to_string(getpid()))) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master_);
    unlockpt(master_);
    std::filesystem::create_directories(dir_ / "devices");
    std::filesystem::create_symlink(ptsname(master_), dir_ / "devices" / "COM3");
  }
  ~PrinterLine() {
    close(master_);
    std::filesystem::remove_all(dir_);
  }
  std::string Directory() const { return dir_.string() + "/"; }
  void Drain(std::size_t bytes) const {
    char buffer[4096];
    while (bytes > 0) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 1000) <= 0) return;
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) return;
      bytes -= std::min(bytes, static_cast<std::size_t>(n));
    }
  }

 private:
  std::filesystem::path dir_;
  int master_;
};

// 32 lines of up to 42 columns: about 1.2 KB as the serial route frames it.
receipt::ReceiptLines FullReceipt() {
  receipt::ReceiptLines lines = {"\x1B@", "\x1B!\x10"};
  for (int i = 0; i < 28; ++i) lines.push_back(std::string(41, static_cast<char>('A' + i % 26)));
  lines.push_back("\n");
  lines.push_back("\x1Bi\n");
  return lines;
}

void Run(benchmark::State& state, bool lineByLine) {
  PrinterLine line;
  serial::TSioComm sio(nullptr, {platform::PosixSerialDevices(), std::make_shared<NoMainThread>(), line.Directory()});
  sio.SetPortNum(3);
  sio.SetBaudrate(serial::TSioBaudrate::br9600);
  sio.Open();
  receipt::ReceiptPrinter printer(sio, line.Directory());
  const receipt::ReceiptLines lines = FullReceipt();
  std::string stream;
  for (const auto& w : receipt::SerialRouteWrites(lines)) stream += w;
  for (auto _ : state) {
    if (lineByLine) printer.Print(lines, 3);
    else sio.WriteText(stream);
    line.Drain(stream.size());
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
