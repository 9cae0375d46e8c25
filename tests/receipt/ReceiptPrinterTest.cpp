#include "receipt/ReceiptPrinter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "platform/system/NonBlockingOutput.h"
#include "platform/system/PrinterPort.h"
#include "receipt/ReceiptBuilder.h"
#include "tests/support/GoldenReceipts.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/QueueInvoker.h"

using namespace receipt;
using testsupport::ReadFile;

using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

ReceiptLines VoucherUseReceipt() {
  return ComposeReceiptLines(testsupport::GoldenCases()[0].input, testsupport::GoldenSettings(), ",");
}

std::string Golden(const std::string& name) { return testsupport::GoldenBytes(name); }

// The input/output error with the system's code and the run-time's text for it.
auto InOutError(int code, const std::string& text) {
  return ::testing::Throws<platform::InOutError>(::testing::ResultOf(
      [](const platform::InOutError& e) { return std::pair(e.ErrorCode(), std::string(e.what())); },
      ::testing::Pair(code, text)));
}

class ReceiptPrinterTest : public ::testing::Test {
 protected:
  ReceiptPrinterTest() { std::filesystem::create_directories(dir.path() / "devices"); }
  void PointLpt1At(const std::filesystem::path& target) {
    std::filesystem::create_symlink(target, dir.path() / "devices" / "LPT1");
  }

  testsupport::TempDir dir;
  std::shared_ptr<testsupport::QueueInvoker> invoker = std::make_shared<testsupport::QueueInvoker>();
  serial::TSioComm sio{nullptr, serial::TSioEnvironment{platform::SystemSerialDevices(), invoker, dir.dir()}};
  ReceiptPrinter printer{sio, dir.dir()};
};

}  // namespace

TEST_F(ReceiptPrinterTest, PrinterPortRouteWritesTheFramedReceiptAsANewFile) {
  PointLpt1At(dir.path() / "paper.bin");
  testsupport::WriteFile(dir.path() / "paper.bin", std::string(5000, 'x'));  // an earlier output is replaced
  printer.Print(VoucherUseReceipt(), 0);
  EXPECT_EQ(ReadFile(dir.path() / "paper.bin"), Golden("receipt-voucher-use.lpt"));
}

TEST_F(ReceiptPrinterTest, SerialRouteSendsTheFramedReceiptThroughTheComponent) {
  testsupport::PseudoTerminal printerLine;
  printerLine.LinkAs(dir.dir(), "COM3");
  sio.SetPortNum(3);
  sio.SetBaudrate(serial::TSioBaudrate::br9600);
  sio.Open();
  printer.Print(VoucherUseReceipt(), 3);
  const std::string expected = Golden("receipt-voucher-use.serial");
  EXPECT_EQ(printerLine.Read(expected.size()), expected);
}

// A printer that holds everything back: the first line waits the write time limit,
// the receipt ends there with the error the operator sees, and nothing of it
// prints later.
TEST_F(ReceiptPrinterTest, SerialLineNotTakenInTimeEndsTheReceiptWithAnError) {
  testsupport::PseudoTerminal printerLine;
  printerLine.LinkAs(dir.dir(), "COM3");
  printerLine.HoldOutput(true);
  sio.SetPortNum(3);
  sio.SetWriteTimeout(200);
  sio.Open();
  EXPECT_THAT([&] { printer.Print(VoucherUseReceipt(), 3); },
              ThrowsMessage<PrinterTimedOut>(StrEq("Write timeout (COM3), the receipt was not printed")));
  printerLine.HoldOutput(false);
  EXPECT_EQ(printerLine.Read(1, std::chrono::milliseconds(300)), "");
}

// Asked before a payment: what the receipt would end with, without printing.
TEST_F(ReceiptPrinterTest, NotReadyTellsWhatTheReceiptWouldEndWith) {
  EXPECT_EQ(printer.NotReady(3), testsupport::WriteErrorOnAClosedPort());  // never opened
  EXPECT_EQ(printer.NotReady(-1), testsupport::WriteErrorOnAClosedPort());
  PointLpt1At(dir.path() / "no-such-folder" / "lp0");
  EXPECT_EQ(printer.NotReady(0), "File not found");

  std::filesystem::remove(dir.path() / "devices" / "LPT1");
  PointLpt1At(dir.path() / "viewer.fifo");
  ASSERT_EQ(mkfifo((dir.path() / "viewer.fifo").c_str(), 0600), 0);
  EXPECT_EQ(printer.NotReady(0), "I/O error " + std::to_string(ENXIO));  // nobody reads it

  std::filesystem::remove(dir.path() / "devices" / "LPT1");
  PointLpt1At(dir.path() / "paper.bin");
  testsupport::WriteFile(dir.path() / "paper.bin", "last receipt");
  EXPECT_EQ(printer.NotReady(0), std::nullopt);
  EXPECT_EQ(ReadFile(dir.path() / "paper.bin"), "last receipt");
}

TEST_F(ReceiptPrinterTest, SerialRouteOnAPortNeverOpenedFailsAtTheFirstLine) {
  EXPECT_THAT([&] { printer.Print(VoucherUseReceipt(), -1); },
              ThrowsMessage<serial::ESioCommError>(StrEq(testsupport::WriteErrorOnAClosedPort())));
}

TEST_F(ReceiptPrinterTest, PrinterPortErrorsCarryTheSystemCode) {
  PointLpt1At(dir.path() / "no-such-folder" / "lp0");
  EXPECT_THAT([&] { printer.Print(VoucherUseReceipt(), 0); }, InOutError(ENOENT, "File not found"));
  EXPECT_THAT([&] { PrintToPrinterPort(VoucherUseReceipt(), {"/dev/full"}); }, InOutError(ENOSPC, "Out of paper (LPT1), the receipt was not printed"));
  EXPECT_THAT([&] { PrintToPrinterPort(VoucherUseReceipt(), {dir.dir() + "devices", true}); },  // a folder
              InOutError(EISDIR, "I/O error 21"));
}

// Without a link the printer port is the machine's printer device; when there is
// none the operator must hear of it, and nothing may appear under /dev.
TEST_F(ReceiptPrinterTest, MissingPrinterDeviceIsAnErrorAndNothingIsCreated) {
  if (std::filesystem::exists("/dev/usb/lp0") || std::filesystem::exists("/dev/lp0"))
    GTEST_SKIP() << "this machine has a printer device";
  EXPECT_THAT([&] { printer.Print(VoucherUseReceipt(), 0); },
              ThrowsMessage<platform::InOutError>(StrEq("File not found")));
  EXPECT_FALSE(std::filesystem::exists("/dev/lp0"));

  // A link may name a file to create, but not one under /dev.
  PointLpt1At("/dev/vek-no-such-printer");
  EXPECT_THROW(printer.Print(VoucherUseReceipt(), 0), platform::InOutError);
  EXPECT_FALSE(std::filesystem::exists("/dev/vek-no-such-printer"));
}

// A printer out of paper, or a reader that never reads: the receipt ends in an
// error after the write limit, never in a terminal that hangs after the payment.
TEST_F(ReceiptPrinterTest, PrinterPortDeviceThatTakesNothingEndsInAnError) {
  const std::string fifo = dir.dir() + "printer.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  const int filler = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  const std::string block(4096, 'x');
  while (write(filler, block.data(), block.size()) > 0) {
  }
  close(filler);
  EXPECT_THAT([&] { PrintToPrinterPort(VoucherUseReceipt(), {fifo}, std::chrono::milliseconds(200)); },
              InOutError(ETIMEDOUT, "Write timeout (LPT1), the receipt was not printed"));
  close(reader);
}

// The parallel printer port's driver has no poll: to poll a busy printer is
// writable, to every write it is busy. The route waits between writes instead of
// spinning, and the limit runs from the last byte taken: a printer that takes a byte
// now and then prints on, one that has stopped ends the receipt after the limit.
TEST_F(ReceiptPrinterTest, PrinterPortWithoutPollWaitsBetweenWritesAndTimesOutAfterTheLastByte) {
  using namespace std::chrono;
  std::string taken;
  int writes = 0;
  auto nextByte = steady_clock::now();
  const platform::NonBlockingOutput printer{
      .Write = [&](std::string_view bytes) -> ssize_t {
        errno = ++writes > 10000 ? EIO : EAGAIN;  // a write loop that spins ends here
        if (errno == EIO || taken.size() == 4 || steady_clock::now() < nextByte) return -1;
        taken += bytes.front();
        nextByte = steady_clock::now() + 150ms;
        return 1;
      },
      .WaitWritable = [](milliseconds) { return 1; }};
  const auto start = steady_clock::now();
  EXPECT_THAT([&] { platform::WriteWithin(printer, "ABCDEFGH", 250ms); },
              InOutError(ETIMEDOUT, "Write timeout (LPT1), the receipt was not printed"));
  EXPECT_EQ(taken, "ABCD");
  EXPECT_GE(steady_clock::now() - start, 450ms + 250ms);
  EXPECT_LT(writes, 200);  // a pause between tries, not thousands of them
}

TEST_F(ReceiptPrinterTest, PrinterPortStopsAtTheFailingWrite) {
  // A device that takes 100 bytes and then refuses: a file size limit.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 100;
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_THROW(PrintToPrinterPort(VoucherUseReceipt(), {dir.dir() + "paper.bin", true}), platform::InOutError);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(ReadFile(dir.path() / "paper.bin"), Golden("receipt-voucher-use.lpt").substr(0, 100));
}

TEST_F(ReceiptPrinterTest, EmptyListOpensAndClosesTheDeviceOnly) {
  PointLpt1At(dir.path() / "paper.bin");
  testsupport::WriteFile(dir.path() / "paper.bin", "old");
  printer.Print({}, 0);
  EXPECT_EQ(ReadFile(dir.path() / "paper.bin"), "");
}
