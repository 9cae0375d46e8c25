#include "receipt/ReceiptPrinter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <termios.h>

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

// Asked before a payment: what the receipt would end with, without printing. A plain
// file or a FIFO in the printer device's place is not asked for its state: nothing
// is written to it.
TEST_F(ReceiptPrinterTest, NotReadyTellsWhatTheReceiptWouldEndWith) {
  EXPECT_EQ(printer.NotReady(3).NotReady, testsupport::WriteErrorOnAClosedPort());  // never opened
  EXPECT_EQ(printer.NotReady(-1).NotReady, testsupport::WriteErrorOnAClosedPort());
  PointLpt1At(dir.path() / "no-such-folder" / "lp0");
  EXPECT_EQ(printer.NotReady(0).NotReady, "File not found");

  std::filesystem::remove(dir.path() / "devices" / "LPT1");
  PointLpt1At(dir.path() / "viewer.fifo");
  ASSERT_EQ(mkfifo((dir.path() / "viewer.fifo").c_str(), 0600), 0);
  EXPECT_EQ(printer.NotReady(0).NotReady, "I/O error " + std::to_string(ENXIO));  // nobody reads it
  const int reader = open((dir.path() / "viewer.fifo").c_str(), O_RDONLY | O_NONBLOCK);
  const PrinterReadiness fifo = printer.NotReady(0);
  EXPECT_FALSE(fifo.NotReady);
  EXPECT_FALSE(fifo.Warning);
  char unread[16];
  EXPECT_EQ(read(reader, unread, sizeof unread), 0);  // nothing written: no writer is left
  close(reader);

  std::filesystem::remove(dir.path() / "devices" / "LPT1");
  PointLpt1At(dir.path() / "paper.bin");
  testsupport::WriteFile(dir.path() / "paper.bin", "last receipt");
  EXPECT_FALSE(printer.NotReady(0).NotReady);
  EXPECT_EQ(ReadFile(dir.path() / "paper.bin"), "last receipt");
}

namespace {

// The three answers: printer status, offline cause, paper roll sensor.
struct StatusCase {
  std::string answer;
  std::optional<std::string> notReady, warning;
};

std::vector<StatusCase> StatusCases(const std::string& name) {
  const auto text = [&](const std::string& what, const std::string& todo) {
    return testsupport::K(what + " (" + name + "). " + todo);
  };
  const std::string paperEnd = text("영수증 용지가 없습니다", "용지를 넣고 다시 하십시오.");
  return {
      {"\x12\x12\x12", std::nullopt, std::nullopt},
      {"\x12\x12\x1E", std::nullopt, text("영수증 용지가 얼마 남지 않았습니다", "용지를 준비하십시오.")},
      {"\x1A\x32\x72", paperEnd, std::nullopt},  // offline because the paper ended
      {"\x12\x12\x72", paperEnd, std::nullopt},  // the roll sensor alone
      {"\x1A\x16\x12", text("프린터 덮개가 열려 있습니다", "덮개를 닫고 다시 하십시오."), std::nullopt},
      {"\x1A\x12\x12", text("프린터가 오프라인입니다", "전원과 연결을 확인하고 다시 하십시오."), std::nullopt},
      {"\x12\x52\x12", text("프린터가 오프라인입니다", "전원과 연결을 확인하고 다시 하십시오."), std::nullopt},
  };
}

}  // namespace

// A serial printer is asked for its state (the request and nothing else reaches it):
// paper end, an open cover or offline keep it from printing, a roll near its end
// warns. Answers that are no status bytes (garbage, cut short) let the payment go on,
// and the printer is asked again next time.
TEST_F(ReceiptPrinterTest, SerialPrinterTellsItsStateBeforeAPayment) {
  testsupport::PseudoTerminal printerLine;
  printerLine.LinkAs(dir.dir(), "COM3");
  sio.SetPortNum(3);
  sio.SetBaudrate(serial::TSioBaudrate::br9600);
  sio.Open();
  for (const StatusCase& c : StatusCases("COM3")) {
    auto request = printerLine.AnswerNext(kStatusRequest.size(), c.answer);
    const PrinterReadiness readiness = printer.NotReady(3);
    EXPECT_EQ(request.get(), kStatusRequest);
    EXPECT_EQ(readiness.NotReady, c.notReady) << testing::PrintToString(c.answer);
    EXPECT_EQ(readiness.Warning, c.warning) << testing::PrintToString(c.answer);
  }
  for (const std::string garbage : {"\x12\x12", "\xFF\x00\x12", "\x12\x12\x13", "OK\n"}) {
    auto request = printerLine.AnswerNext(kStatusRequest.size(), garbage);
    const PrinterReadiness readiness = printer.NotReady(3);
    EXPECT_EQ(request.get(), kStatusRequest);
    EXPECT_FALSE(readiness.NotReady);
    EXPECT_FALSE(readiness.Warning);
  }
  // A late answer left on the line is not taken for the next one's.
  printerLine.Send("\x12\x12\x72");
  auto request = printerLine.AnswerNext(kStatusRequest.size(), "\x12\x12\x12");
  EXPECT_FALSE(printer.NotReady(3).NotReady);
  request.get();
  EXPECT_EQ(sio.ReadTimeout(), 1000);  // the port's own limits are back
  EXPECT_EQ(sio.WriteTimeout(), 1000);
  printer.Print(VoucherUseReceipt(), 3);
  const std::string expected = Golden("receipt-voucher-use.serial");
  EXPECT_EQ(printerLine.Read(expected.size()), expected);
}

// A printer without a back channel costs the wait once: later payments don't ask.
// A remembered silence outlives the printer object when the caller keeps it.
TEST_F(ReceiptPrinterTest, SilentPrinterIsWaitedForOncePerStart) {
  using namespace std::chrono;
  testsupport::PseudoTerminal printerLine;
  printerLine.LinkAs(dir.dir(), "COM3");
  sio.SetPortNum(3);
  sio.Open();
  SilentPrinters silent;
  auto start = steady_clock::now();
  EXPECT_FALSE(ReceiptPrinter(sio, dir.dir(), silent).NotReady(3).NotReady);
  EXPECT_GE(steady_clock::now() - start, kStatusAnswerLimit);
  EXPECT_EQ(printerLine.Read(kStatusRequest.size(), 100ms), kStatusRequest);
  EXPECT_TRUE(silent.Known("COM3"));
  start = steady_clock::now();
  EXPECT_FALSE(ReceiptPrinter(sio, dir.dir(), silent).NotReady(3).NotReady);
  EXPECT_LT(steady_clock::now() - start, 100ms);
  EXPECT_EQ(printerLine.Read(1, 100ms), "");

  // A line held by flow control takes no request, nor would it take the receipt:
  // refused as offline in the same short time, and asked again next time.
  testsupport::PseudoTerminal heldLine;
  heldLine.LinkAs(dir.dir(), "COM4");
  heldLine.HoldOutput(true);
  serial::TSioComm held{nullptr, serial::TSioEnvironment{platform::SystemSerialDevices(), invoker, dir.dir()}};
  held.SetPortNum(4);
  held.Open();
  start = steady_clock::now();
  EXPECT_EQ(ReceiptPrinter(held, dir.dir(), silent).NotReady(4).NotReady, StateText(PrinterState::Offline, "COM4"));
  EXPECT_LT(steady_clock::now() - start, 2 * kStatusAnswerLimit);
  EXPECT_FALSE(silent.Known("COM4"));
  heldLine.HoldOutput(false);
  EXPECT_EQ(heldLine.Read(1, 100ms), "");  // the request was dropped, not left to print later
}

// On Linux the printer port device is asked too when it answers reads (a USB
// printer, here a pseudo-terminal in its place).
TEST_F(ReceiptPrinterTest, PrinterPortDeviceThatAnswersReadsTellsItsState) {
  testsupport::PseudoTerminal device;
  termios raw = device.Settings();
  cfmakeraw(&raw);
  const int slave = open(device.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_EQ(tcsetattr(slave, TCSANOW, &raw), 0);  // as a printer device: no line discipline
  close(slave);
  PointLpt1At(device.SlavePath());
  for (const StatusCase& c : StatusCases("LPT1")) {
    auto request = device.AnswerNext(kStatusRequest.size(), c.answer);
    const PrinterReadiness readiness = printer.NotReady(0);
    EXPECT_EQ(request.get(), kStatusRequest);
    EXPECT_EQ(readiness.NotReady, c.notReady) << testing::PrintToString(c.answer);
    EXPECT_EQ(readiness.Warning, c.warning) << testing::PrintToString(c.answer);
  }
  // No answer: once.
  EXPECT_FALSE(printer.NotReady(0).NotReady);
  EXPECT_EQ(device.Read(kStatusRequest.size(), std::chrono::milliseconds(100)), kStatusRequest);
  EXPECT_FALSE(printer.NotReady(0).NotReady);
  EXPECT_EQ(device.Read(1, std::chrono::milliseconds(100)), "");
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
