#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "SerialFixture.h"
#include "platform/system/ErrorText.h"

using namespace serial;
using namespace std::chrono_literals;
using namespace std::string_literals;
namespace dcb = platform::dcb;
namespace ev = platform::ev;

using platform::SystemErrorText;
using testsupport::WriteErrorOnAClosedPort;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

using testsupport::OpenHandles;
using testsupport::RunningThreads;

TEST_F(FakeCommTest, DefaultsAndTheWindowsLineSettings) {
  auto comm = Make();
  EXPECT_EQ(comm->Baudrate(), TSioBaudrate::br1200);
  EXPECT_EQ(comm->FlowControl(), TSioFlowControl::fcRtsCts);
  EXPECT_EQ(comm->ReadBufSize(), 4096);
  EXPECT_EQ(comm->WriteBufSize(), 2048);
  EXPECT_EQ(comm->WriteTimeout(), 1000);
  EXPECT_EQ(comm->XonLim(), 1024);
  EXPECT_EQ(comm->EventChars().XoffChar(), 19);
  EXPECT_EQ(comm->MonitorEvents(), TSioCommEvents{});
  EXPECT_FALSE(comm->IsOpen());

  auto printer = MakePrinterPort();
  comm.reset();
  printer->Open();
  WithLine([](testsupport::FakeLine& l) {
    EXPECT_EQ(l.state.BaudRate, 9600u);
    EXPECT_EQ(l.state.ByteSize, 8);
    EXPECT_EQ(l.state.Parity, 0);
    EXPECT_EQ(l.state.StopBits, 0);
    EXPECT_EQ(l.state.Flags, 0x6015u);
    EXPECT_EQ(l.state.XonLim, 1024);
    EXPECT_EQ(l.state.XonChar, 17);
    EXPECT_EQ(l.mask, ev::RxChar);
  });
}

TEST_F(FakeCommTest, FlowControlDecidesWhichLineControlsApply) {
  auto comm = Make();
  comm->Open();
  const auto flags = [&] { return WithLine([](testsupport::FakeLine& l) { return l.state.Flags; }); };
  comm->SetRTSControl(TSioRTSControl::rtsToggle);  // ignored under RTS/CTS
  EXPECT_EQ(flags(), 0x6015u);
  comm->SetFlowControl(TSioFlowControl::fcNone);
  EXPECT_EQ(flags(), dcb::fBinary | dcb::fAbortOnError | dcb::DtrEnable | 0x3000);
  comm->SetDTRControl(TSioDTRControl::dtrHandshake);
  comm->SetFlowControl(TSioFlowControl::fcDtrDsr);  // DTR control ignored, RTS applies
  EXPECT_EQ(flags(), dcb::fBinary | dcb::fAbortOnError | dcb::fOutxDsrFlow | dcb::DtrHandshake | 0x3000);
  comm->SetFlowControl(TSioFlowControl::fcXonXoff);
  comm->SetOptions({TSioCommOption::coParityCheck, TSioCommOption::coNullStrip});
  EXPECT_EQ(flags(), dcb::fBinary | dcb::fAbortOnError | dcb::fOutX | dcb::fInX | dcb::DtrHandshake | 0x3000 |
                         dcb::fParity | dcb::fNull);
  comm->SetOptions({});
  EXPECT_EQ(flags() & (dcb::fParity | dcb::fNull), 0u);
}

TEST_F(FakeCommTest, LineSettingsGoLiveOnlyWhileOpen) {
  auto comm = Make();
  const auto setStates = [&] { return WithLine([](testsupport::FakeLine& l) { return l.setStateCalls; }); };
  comm->SetBaudrate(TSioBaudrate::br115200);
  comm->SetParity(TSioParity::paMark);
  EXPECT_EQ(setStates(), 0);
  comm->Open();
  EXPECT_EQ(setStates(), 1);
  EXPECT_EQ(WithLine([](auto& l) { return l.state.BaudRate; }), 115200u);
  EXPECT_EQ(WithLine([](auto& l) { return l.state.Parity; }), 3);

  comm->SetBaudrate(TSioBaudrate::br256000);
  EXPECT_EQ(setStates(), 2);
  comm->SetBaudrate(TSioBaudrate::br256000);  // same value: nothing
  EXPECT_EQ(setStates(), 2);
  comm->SetXonLim(70000);
  EXPECT_EQ(WithLine([](auto& l) { return l.state.XonLim; }), 70000 & 0xFFFF);

  // Event characters re-apply on every assignment, the whole set once.
  comm->EventChars().SetXonChar(17);
  EXPECT_EQ(setStates(), 4);
  TSioEventChars chars;
  chars.SetXoffChar(0x13);
  chars.SetEventChar('~');
  comm->SetEventChars(chars);
  EXPECT_EQ(setStates(), 5);
  EXPECT_EQ(WithLine([](auto& l) { return l.state.EvtChar; }), '~');
}

TEST_F(FakeCommTest, SomePropertiesAreRefusedWhileOpen) {
  auto comm = Make();
  comm->Open();
  comm->SetPortNum(3);  // the current value: no refusal
  EXPECT_THROW(
      {
        try {
          comm->SetPortNum(4);
        } catch (const ESioCommError& e) {
          EXPECT_STREQ(e.what(), "Can't perform this operation when port is open");
          throw;
        }
      },
      ESioCommError);
  EXPECT_EQ(comm->PortNum(), 3);
  EXPECT_THROW(comm->SetMonitorEvents({TSioCommEvent::ceCts}), ESioCommError);
  EXPECT_THROW(comm->SetReadBufSize(1), ESioCommError);
  EXPECT_THROW(comm->SetWriteBufSize(1), ESioCommError);
  EXPECT_THROW(comm->SetPriority(TThreadPriority::tpHigher), ESioCommError);
  EXPECT_THROW(comm->Open(), ESioCommError);
  EXPECT_TRUE(comm->IsOpen());
  comm->Close();
  comm->SetPortNum(4);
  EXPECT_EQ(comm->PortNum(), 4);
}

TEST_F(FakeCommTest, OpenFailuresNameThePortAndLeaveItClosed) {
  auto missing = Make(7);
  EXPECT_THAT([&] { missing->Open(); },
              ThrowsMessage<ESioCommError>(StrEq("Invalid port number (COM7)")));
  EXPECT_FALSE(missing->IsOpen());
  for (int port : {0, -2}) {
    auto none = Make(port);
    EXPECT_THROW(none->Open(), ESioCommError);
  }

  auto first = Make();
  first->Open();
  auto second = Make();
  EXPECT_THAT([&] { second->Open(); }, ThrowsMessage<ESioCommError>(StrEq("Can't open device COM3")));
}

TEST_F(FakeCommTest, EachFailingStepOfOpenHasItsMessageAndClosesThePort) {
  struct Step {
    int testsupport::FakeLine::*fail;
    std::string message;
  };
  const Step steps[] = {
      {&testsupport::FakeLine::failGetState, "Error reading dcb (5), " + SystemErrorText(5)},
      {&testsupport::FakeLine::failSetState, "Error writing dcb (22), " + SystemErrorText(22)},
      {&testsupport::FakeLine::failTimeouts, "Error setting timeouts (5), " + SystemErrorText(5)},
      {&testsupport::FakeLine::failQueues, "Error initializing buffers (12), " + SystemErrorText(12)},
      {&testsupport::FakeLine::failMask, " Error setting EventMask (5), " + SystemErrorText(5)},
  };
  const int codes[] = {5, 22, 5, 12, 5};
  auto comm = Make();
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    WithLine([&](testsupport::FakeLine& l) { l.*(steps[i].fail) = codes[i]; });
    try {
      comm->Open();
      ADD_FAILURE() << steps[i].message;
    } catch (const ESioCommError& e) {
      EXPECT_EQ(e.what(), steps[i].message);
    }
    EXPECT_FALSE(comm->IsOpen());
    EXPECT_FALSE(WithLine([](auto& l) { return l.open; }));
    WithLine([&](testsupport::FakeLine& l) { l.*(steps[i].fail) = 0; });
  }
  comm->Open();  // a later Open may be tried again
  EXPECT_TRUE(comm->IsOpen());
}

TEST_F(FakeCommTest, OnOpenThatRaisesTakesThreadAndDeviceWithIt) {
  const std::size_t threads = RunningThreads();
  auto comm = Make();
  comm->OnOpen = [](TSioCustomComm*) { throw std::runtime_error("handler failed"); };
  EXPECT_THROW(comm->Open(), std::runtime_error);
  EXPECT_FALSE(comm->IsOpen());
  EXPECT_FALSE(WithLine([](auto& l) { return l.open; }));
  EXPECT_EQ(RunningThreads(), threads);
}

TEST_F(FakeCommTest, CloseAndDestruction) {
  int closes = 0;
  auto comm = Make();
  comm->OnClose = [&](TSioCustomComm* sender) {
    EXPECT_EQ(sender, comm.get());
    ++closes;
  };
  comm->Close();  // closed already: nothing
  EXPECT_EQ(closes, 0);
  comm->Open();
  comm->Close();
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(WithLine([](auto& l) { return l.purges; }), 1);
  EXPECT_FALSE(WithLine([](auto& l) { return l.open; }));

  comm->Open();
  comm.reset();  // destroying an open port closes it without OnClose
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(WithLine([](auto& l) { return l.open; }));
}

TEST_F(FakeCommTest, FailedPurgeKeepsThePortOpenWithItsThreadStopped) {
  auto comm = Make();
  comm->Open();
  WithLine([](auto& l) { l.failPurge = EIO; });
  EXPECT_THROW(comm->Close(), ESioCommError);
  EXPECT_TRUE(comm->IsOpen());
  line->Inject(ev::RxChar, 1);
  invoker->RunFor(50ms);
  EXPECT_EQ(WithLine([](auto& l) { return l.clearErrorCalls; }), 0);
  WithLine([](auto& l) { l.failPurge = 0; });
}

TEST_F(FakeCommTest, WritesGoOutUnchanged) {
  auto comm = MakePrinterPort();
  comm->Open();
  EXPECT_TRUE(comm->WriteText("\x1B@"));
  EXPECT_TRUE(comm->WriteText("a\0b\r\n"s));
  EXPECT_TRUE(comm->WriteText(""));
  EXPECT_EQ(comm->WriteBuf("xyz", 2), 2);
  EXPECT_EQ(WithLine([](auto& l) { return l.written; }), "\x1B@a\0b\r\nxy"s);
}

TEST_F(FakeCommTest, WriteOnAClosedPortFailsAtOnce) {
  auto comm = Make();
  EXPECT_THAT([&] { comm->WriteText("line\n"); },
              ThrowsMessage<ESioCommError>(StrEq(WriteErrorOnAClosedPort())));
  comm->Open();
  EXPECT_THROW(comm->WriteBuf("x", -1), ESioCommError);
}

TEST_F(FakeCommTest, HeldLineTimesOutWithoutAnException) {
  auto comm = MakePrinterPort();
  comm->SetWriteTimeout(200);
  comm->Open();
  line->Hold(true);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(comm->WriteText("held line\n"));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 190ms);
  EXPECT_LT(took, 1000ms);
  line->Hold(false);
  EXPECT_TRUE(comm->WriteText("next\n"));
  EXPECT_EQ(WithLine([](auto& l) { return l.written; }), "next\n");
}

TEST_F(FakeCommTest, PacedLineAt9600BaudFinishesWithinTheTimeLimitOrNotAtAll) {
  auto comm = MakePrinterPort();
  comm->SetWriteTimeout(300);
  comm->Open();
  WithLine([](auto& l) { l.bytesPerSecond = 960; });
  EXPECT_TRUE(comm->WriteText(std::string(96, 'a')));   // 100 ms
  EXPECT_FALSE(comm->WriteText(std::string(960, 'b')));  // a second: too long
  EXPECT_EQ(WithLine([](auto& l) { return l.written.size(); }), 96u);
}

TEST_F(FakeCommTest, LineErrorAbortsWritesUntilTheEventIsHandled) {
  auto comm = MakePrinterPort();
  comm->SetMonitorEvents({TSioCommEvent::ceData, TSioCommEvent::ceError});
  std::vector<std::string> calls;
  comm->OnError = [&](TSioCustomComm*, std::int32_t errors) { calls.push_back("error " + std::to_string(errors)); };
  comm->OnData = [&](TSioCustomComm*, std::int32_t count) { calls.push_back("data " + std::to_string(count)); };
  comm->Open();
  line->Inject(ev::Err | ev::RxChar, 3, platform::ce::Frame);
  EXPECT_THAT([&] { comm->WriteText("x"); },
              ThrowsMessage<ESioCommError>(StrEq("Write error (5), " + SystemErrorText(5))));
  ASSERT_TRUE(invoker->RunUntil([&] { return calls.size() == 2; }));
  EXPECT_EQ(calls, (std::vector<std::string>{"error 8", "data 3"}));
  EXPECT_EQ(WithLine([](auto& l) { return l.clearErrorCalls; }), 1);
  EXPECT_TRUE(comm->WriteText("x"));
}

TEST_F(FakeCommTest, DataEventWithAnEmptyQueueAndNoHandlerStillClearsOnce) {
  auto comm = MakePrinterPort();
  int data = 0;
  comm->Open();
  line->Inject(ev::RxChar, 0);
  ASSERT_TRUE(invoker->RunUntil([&] { return WithLine([](auto& l) { return l.clearErrorCalls; }) == 1; }));
  comm->OnData = [&](TSioCustomComm*, std::int32_t) { ++data; };
  line->Inject(ev::RxChar, 0);
  ASSERT_TRUE(invoker->RunUntil([&] { return WithLine([](auto& l) { return l.clearErrorCalls; }) == 2; }));
  EXPECT_EQ(data, 0);  // nothing waiting: no OnData
}

TEST_F(FakeCommTest, HandlersRunInTableOrderOnTheMainThread) {
  auto comm = Make();
  comm->SetMonitorEvents({TSioCommEvent::ceBreak, TSioCommEvent::ceCts, TSioCommEvent::ceDsr, TSioCommEvent::ceRing,
                          TSioCommEvent::ceRlsd, TSioCommEvent::ceTxEmpty, TSioCommEvent::ceEvent});
  std::vector<std::string> calls;
  const auto main = std::this_thread::get_id();
  const auto record = [&](const char* name) {
    return [&, name](TSioCustomComm* sender) {
      EXPECT_EQ(std::this_thread::get_id(), main);
      EXPECT_EQ(sender, comm.get());
      calls.push_back(name);
    };
  };
  comm->OnBreak = record("break");
  comm->OnCts = record("cts");
  comm->OnDsr = record("dsr");
  comm->OnRing = record("ring");
  comm->OnRlsd = record("rlsd");
  comm->OnTxEmpty = record("txempty");
  comm->OnRxFlag = record("rxflag");
  comm->Open();
  line->Inject(ev::Break | ev::Cts | ev::Dsr | ev::Ring | ev::Rlsd | ev::TxEmpty | ev::RxFlag);
  ASSERT_TRUE(invoker->RunUntil([&] { return calls.size() == 7; }));
  EXPECT_EQ(calls, (std::vector<std::string>{"rxflag", "cts", "dsr", "ring", "rlsd", "txempty", "break"}));
  EXPECT_EQ(WithLine([](auto& l) { return l.clearErrorCalls; }), 0);  // neither data nor errors
}

TEST_F(FakeCommTest, HandlerExceptionIsShownAndTheNextEventStillArrives) {
  auto comm = MakePrinterPort();
  int calls = 0;
  comm->OnData = [&](TSioCustomComm*, std::int32_t) {
    if (++calls == 1) throw ESioCommError("first one fails");
  };
  comm->Open();
  line->Inject(ev::RxChar, 1);
  ASSERT_TRUE(invoker->RunUntil([&] { return calls == 1; }));
  line->Inject(ev::RxChar, 1);
  ASSERT_TRUE(invoker->RunUntil([&] { return calls == 2; }));
  EXPECT_EQ(invoker->Exceptions, std::vector<std::string>{"first one fails"});
}

TEST_F(FakeCommTest, StatisticsFailureIsRaisedToTheApplication) {
  auto comm = MakePrinterPort();
  comm->Open();
  WithLine([](auto& l) { l.failClearErrors = EIO; });
  line->Inject(ev::RxChar, 1);
  ASSERT_TRUE(invoker->RunUntil([&] { return !invoker->Exceptions.empty(); }));
  EXPECT_EQ(invoker->Exceptions[0], "Error retrieving statistics (5), " + SystemErrorText(5));
}

TEST_F(FakeCommTest, CloseInsideOnDataFinishesTheSetAndStopsEverything) {
  auto comm = Make();
  comm->SetMonitorEvents({TSioCommEvent::ceData, TSioCommEvent::ceCts});
  std::vector<std::string> calls;
  comm->OnData = [&](TSioCustomComm* sender, std::int32_t) {
    calls.push_back("data");
    sender->Close();
  };
  comm->OnCts = [&](TSioCustomComm*) { calls.push_back("cts"); };
  comm->Open();
  line->Inject(ev::RxChar | ev::Cts, 2);
  ASSERT_TRUE(invoker->RunUntil([&] { return calls.size() == 2; }));
  EXPECT_EQ(calls, (std::vector<std::string>{"data", "cts"}));
  EXPECT_FALSE(comm->IsOpen());
  line->Inject(ev::Cts);
  invoker->RunFor(50ms);
  EXPECT_EQ(calls.size(), 2u);
}

TEST_F(FakeCommTest, EventSetAlreadyOnItsWayIsDroppedByClose) {
  auto comm = MakePrinterPort();
  int data = 0;
  comm->OnData = [&](TSioCustomComm*, std::int32_t) { ++data; };
  comm->Open();
  line->Inject(ev::RxChar, 1);
  ASSERT_TRUE(invoker->WaitPosted(1));  // handed over, not run yet
  comm->Close();
  invoker->RunFor(20ms);
  EXPECT_EQ(data, 0);
}

TEST_F(FakeCommTest, NothingIsDispatchedWhileTheApplicationTerminates) {
  auto comm = MakePrinterPort();
  int data = 0;
  comm->OnData = [&](TSioCustomComm*, std::int32_t) { ++data; };
  comm->Open();
  invoker->Terminating = true;
  line->Inject(ev::RxChar, 1);
  invoker->RunFor(100ms);
  EXPECT_EQ(data, 0);
}

TEST_F(FakeCommTest, WaitThatFailsAtOnceDoesNotSpin) {
  auto comm = MakePrinterPort();
  WithLine([](auto& l) { l.failWait = EIO; });
  comm->Open();
  std::this_thread::sleep_for(500ms);
  EXPECT_LT(WithLine([](auto& l) { return l.waitCalls; }), 12);
  const auto start = std::chrono::steady_clock::now();
  comm->Close();  // the back-off does not delay a stop
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
}

TEST_F(FakeCommTest, ThousandOpenCloseCyclesLeakNothing) {
  auto comm = MakePrinterPort();
  const std::size_t fds = OpenHandles();
  const std::size_t threads = RunningThreads();
  for (int i = 0; i < 1000; ++i) {
    comm->Open();
    comm->Close();
  }
  EXPECT_EQ(OpenHandles(), fds);
  EXPECT_EQ(RunningThreads(), threads);
}
