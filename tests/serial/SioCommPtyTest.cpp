// The component on real pseudo-terminals: what a pty can show of a serial port
// (settings, data, exclusivity, a held line, a vanished far end).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "serial/SioComm.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/QueueInvoker.h"
#include "tests/support/TestSupport.h"

using namespace serial;
using namespace std::chrono_literals;

using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

class PtyCommTest : public ::testing::Test {
 protected:
  PtyCommTest() { pty.LinkAs(dir.dir(), "COM3"); }

  std::unique_ptr<TSioComm> Make(std::int32_t port = 3) {
    auto comm = std::make_unique<TSioComm>(nullptr, TSioEnvironment{platform::SystemSerialDevices(), invoker, dir.dir()});
    comm->SetPortNum(port);
    comm->SetBaudrate(TSioBaudrate::br9600);
    comm->SetMonitorEvents({TSioCommEvent::ceData});
    return comm;
  }

  testsupport::TempDir dir;
  testsupport::PseudoTerminal pty;
  std::shared_ptr<testsupport::QueueInvoker> invoker = std::make_shared<testsupport::QueueInvoker>();
};

}  // namespace

TEST_F(PtyCommTest, LineSettingsReachTheTerminal) {
  auto comm = Make();
  comm->Open();
  termios t = pty.Settings();
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_oflag & OPOST);  // nothing translated on the way out
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));
  EXPECT_EQ(t.c_cc[VSTART], 17);

  comm->SetFlowControl(TSioFlowControl::fcXonXoff);
  comm->SetParity(TSioParity::paEven);
  comm->SetStopbits(TSioStopbits::sb2);
  comm->SetOptions({TSioCommOption::coParityCheck});
  comm->EventChars().SetXoffChar(0x7F);
  comm->SetBaudrate(TSioBaudrate::br115200);
  t = pty.Settings();
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE((t.c_iflag & IXON) && (t.c_iflag & IXOFF));
  EXPECT_TRUE(t.c_iflag & INPCK);
  EXPECT_TRUE(t.c_cflag & CSTOPB);  // a pty keeps CS8 and no parity whatever is asked
  EXPECT_EQ(t.c_cc[VSTOP], 0x7F);
  EXPECT_EQ(cfgetospeed(&t), B115200);
}

TEST_F(PtyCommTest, RatesWithoutAPosixNameAreSetAsTheyAre) {
  auto comm = Make();
  comm->SetBaudrate(TSioBaudrate::br14400);
  comm->Open();
  const termios t = pty.Settings();
  constexpr tcflag_t kOtherRate = 0010000;  // the kernel's BOTHER, which glibc does not name
  EXPECT_EQ(t.c_cflag & CBAUD, kOtherRate);
  EXPECT_NO_THROW(comm->SetBaudrate(TSioBaudrate::br256000));
}

TEST_F(PtyCommTest, PortIsExclusiveAndAMissingOneIsTold) {
  auto first = Make();
  first->Open();
  auto second = Make();
  EXPECT_THAT([&] { second->Open(); }, ThrowsMessage<ESioCommError>(StrEq("Can't open device COM3")));
  std::filesystem::create_symlink(dir.dir() + "no-such-tty", dir.dir() + "devices/COM9");
  auto missing = Make(9);
  EXPECT_THAT([&] { missing->Open(); }, ThrowsMessage<ESioCommError>(StrEq("Invalid port number (COM9)")));
  first->Close();
  EXPECT_NO_THROW(second->Open());  // released by Close
}

TEST_F(PtyCommTest, WritesArriveByteExact) {
  auto comm = Make();
  comm->Open();
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_TRUE(comm->WriteText(all));
  EXPECT_TRUE(comm->WriteText("\x1Bi\n"));
  EXPECT_EQ(pty.Read(all.size() + 3), all + "\x1Bi\n");
}

TEST_F(PtyCommTest, ReceivedBytesReachOnDataOnTheMainThread) {
  auto comm = Make();
  std::vector<std::int32_t> counts;
  const auto main = std::this_thread::get_id();
  comm->OnData = [&](TSioCustomComm*, std::int32_t count) {
    EXPECT_EQ(std::this_thread::get_id(), main);
    counts.push_back(count);
  };
  comm->Open();
  pty.Send("ok");
  ASSERT_TRUE(invoker->RunUntil([&] { return !counts.empty(); }));
  EXPECT_EQ(counts[0], 2);
  // The program never reads: the next arrival reports everything waiting.
  pty.Send("more");
  ASSERT_TRUE(invoker->RunUntil([&] { return counts.size() == 2; }));
  EXPECT_EQ(counts[1], 6);
  invoker->RunFor(100ms);  // unread bytes raise no further events
  EXPECT_EQ(counts.size(), 2u);
}

// A read waits up to ReadTimeout for what it asks, returns as soon as all of it came,
// and takes what came before the call; a purge discards that.
TEST_F(PtyCommTest, ReadsWaitUpToTheirTimeLimit) {
  auto comm = Make();
  comm->SetMonitorEvents({});  // the test reads; no events queue up for a main thread it never runs
  comm->SetReadTimeout(200);
  comm->Open();
  char buffer[8] = {};
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(comm->ReadBuf(buffer, 3), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);

  std::thread later([&] {
    std::this_thread::sleep_for(50ms);
    pty.Send("ab");
    std::this_thread::sleep_for(50ms);
    pty.Send("cd");
  });
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(comm->ReadBuf(buffer, 3), 3);  // in two pieces, the rest left
  EXPECT_LT(std::chrono::steady_clock::now() - start, 190ms);
  later.join();
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(comm->ReadBuf(buffer, 8), 1);  // what is left, after the time limit
  EXPECT_EQ(buffer[0], 'd');

  pty.Send("stale");
  std::this_thread::sleep_for(20ms);
  comm->PurgeRead();
  comm->SetReadTimeout(0);
  EXPECT_EQ(comm->ReadBuf(buffer, 8), 0);
  EXPECT_THROW(comm->ReadBuf(buffer, -1), ESioCommError);
  comm->SetReadTimeout(1000);
  pty.CloseMaster();
  EXPECT_THROW(comm->ReadBuf(buffer, 1), ESioCommError);  // the far end has gone
  comm.reset();
  EXPECT_THAT([&] { Make()->ReadBuf(buffer, 1); }, ThrowsMessage<ESioCommError>(::testing::StartsWith("Read error (")));
}

TEST_F(PtyCommTest, CloseInsideOnData) {
  auto comm = Make();
  int calls = 0;
  comm->OnData = [&](TSioCustomComm* sender, std::int32_t) {
    ++calls;
    sender->Close();
  };
  comm->Open();
  pty.Send("x");
  ASSERT_TRUE(invoker->RunUntil([&] { return calls == 1; }));
  EXPECT_FALSE(comm->IsOpen());
  pty.Send("y");
  invoker->RunFor(100ms);
  EXPECT_EQ(calls, 1);
}

TEST_F(PtyCommTest, HeldLineTimesOutAndDropsTheLine) {
  auto comm = Make();
  comm->SetWriteTimeout(300);
  comm->Open();
  pty.HoldOutput(true);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(comm->WriteText("held\n"));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 290ms);
  EXPECT_LT(took, 1500ms);
  pty.HoldOutput(false);
  EXPECT_TRUE(comm->WriteText("after\n"));
  EXPECT_EQ(pty.Read(6, 500ms), "after\n");
}

TEST_F(PtyCommTest, VanishedFarEndFailsWritesAndDoesNotSpin) {
  auto comm = Make();
  comm->Open();
  pty.CloseMaster();
  EXPECT_THROW(comm->WriteText("x"), ESioCommError);
  // The event thread sees the hang-up; it must back off rather than spin.
  timespec cpu0{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
  std::this_thread::sleep_for(500ms);
  timespec cpu1{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
  const double used = (cpu1.tv_sec - cpu0.tv_sec) + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e9;
  EXPECT_LT(used, 0.05);
  // The purge of a vanished device fails: the port stays open (its thread is
  // stopped) until the component goes.
  EXPECT_THAT([&] { comm->Close(); },
              ThrowsMessage<ESioCommError>(StrEq("Error clearing buffers (5), Input/output error")));
  EXPECT_TRUE(comm->IsOpen());
}
