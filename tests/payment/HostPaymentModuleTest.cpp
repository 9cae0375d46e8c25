// The payment module through the module host, with the test playing the
// supervisor on its socket: what the terminal sends, and what each answer (or its
// absence) becomes. And which module the terminal takes from its working folder.
#include "payment/HostPaymentModule.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "payment/TerminalPaymentModule.h"
#include "platform/system/LocalSocket.h"
#include "tests/support/TestSupport.h"

using namespace payment;
using modulehost::CallAnswer;
using modulehost::CallStatus;

namespace {

using std::chrono::steady_clock;

// The supervisor's side of one connection: takes a whole call, then sends
// `answer` (any bytes) and, unless `hangUp`, keeps the connection until the test
// ends.
class FakeSupervisor {
 public:
  explicit FakeSupervisor(const std::filesystem::path& socket) : listener_(platform::LocalListener::Listen(socket)) {}
  ~FakeSupervisor() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }

  void Serve(std::string answer, bool hangUp = true) {
    thread_ = std::thread([this, answer = std::move(answer), hangUp] {
      const auto deadline = steady_clock::now() + std::chrono::seconds(5);
      std::optional<platform::LocalStream> caller;
      while (!(caller = listener_.Accept()) && steady_clock::now() < deadline && !done_)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (!caller) return;
      std::string received;
      while (modulehost::Decode(received).Is == modulehost::Decoded::State::NeedMore &&
             caller->ReceiveSome(received, deadline) == platform::LocalStream::Received::Data) {
      }
      const auto decoded = modulehost::Decode(received);
      if (decoded.Is == modulehost::Decoded::State::Complete) call_ = std::get<modulehost::CallRequest>(decoded.Value);
      caller->SendAll(answer, deadline);
      while (!hangUp && !done_) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
  }
  // The call it got, once the module's Call has returned.
  const std::optional<modulehost::CallRequest>& Call() {
    if (thread_.joinable()) {
      done_ = true;
      thread_.join();
    }
    return call_;
  }

 private:
  platform::LocalListener listener_;
  std::thread thread_;
  std::atomic<bool> done_{false};
  std::optional<modulehost::CallRequest> call_;
};

std::string Answered(unsigned char result, std::string reply) {
  reply.resize(modulehost::kReplyBufferBytes, '\0');
  return modulehost::Encode(CallAnswer{CallStatus::Answered, result, reply});
}
std::string Status(CallStatus status) { return modulehost::Encode(CallAnswer{status, 0, {}}); }

class HostModuleTest : public ::testing::Test {
 protected:
  std::optional<ModuleAnswer> Call(std::string_view request = "request",
                                   std::chrono::milliseconds wait = kModuleHostWait) {
    return HostPaymentModule(socket_.string(), "/counter/VEKDLL.dll", wait).Call(request);
  }

  testsupport::TempDir dir_;
  std::filesystem::path socket_ = dir_.path() / "module.sock";
  FakeSupervisor supervisor_{socket_};
};

const std::string kUseRequest = "\x02PAIR\x1C" "9000\x1C" "1004                1234567890123\x03";

}  // namespace

TEST_F(HostModuleTest, TheCallIsTheTerminalsAndTheAnswerIsReadAsInProcess) {
  supervisor_.Serve(Answered(1, "\x02" "0000 approved\x03"));
  const auto answer = Call(kUseRequest);
  ASSERT_TRUE(answer);
  EXPECT_TRUE(answer->Result);
  EXPECT_EQ(answer->Reply, "\x02" "0000 approved\x03");
  EXPECT_EQ(supervisor_.Call(),
            (modulehost::CallRequest{"/counter/VEKDLL.dll", "127.0.0.1", 19976, kUseRequest}));
}

TEST(HostModule, AReplyBufferWithoutAZeroIsReadNoFurtherThan1024Bytes) {
  testsupport::TempDir dir;
  FakeSupervisor supervisor(dir.path() / "module.sock");
  supervisor.Serve(Answered(0, std::string(modulehost::kReplyBufferBytes, 'R')));
  const auto answer = HostPaymentModule((dir.path() / "module.sock").string(), "/VEKDLL.dll").Call("r");
  ASSERT_TRUE(answer);
  EXPECT_FALSE(answer->Result);
  EXPECT_EQ(answer->Reply, std::string(1024, 'R'));
}

TEST_F(HostModuleTest, NothingSentIsAMissingModule) {
  EXPECT_FALSE(HostPaymentModule((dir_.path() / "nobody-listens.sock").string(), "/VEKDLL.dll").Call("r"));
  for (CallStatus status : {CallStatus::NotLoaded, CallStatus::NoEntryPoint, CallStatus::HostUnavailable,
                            CallStatus::NotPermitted, CallStatus::BadRequest}) {
    FakeSupervisor supervisor(dir_.path() / "each.sock");
    supervisor.Serve(Status(status));
    EXPECT_FALSE(HostPaymentModule((dir_.path() / "each.sock").string(), "/VEKDLL.dll").Call("r"))
        << static_cast<int>(status);
  }
}

TEST_F(HostModuleTest, AHostThatEndedDuringTheCallLeavesTheOutcomeUnknown) {
  supervisor_.Serve(Status(CallStatus::HostEnded));
  EXPECT_EQ(Call(), (ModuleAnswer{false, HostEndedMessage()}));
  // The supervisor gone after the request, or answering what can't be an answer.
  for (const std::string& answer : {std::string(), std::string("garbage"), modulehost::Encode(modulehost::HostReady{})}) {
    FakeSupervisor supervisor(dir_.path() / "each.sock");
    supervisor.Serve(answer);
    EXPECT_EQ(HostPaymentModule((dir_.path() / "each.sock").string(), "/VEKDLL.dll").Call("r"),
              (ModuleAnswer{false, HostEndedMessage()}));
  }
}

TEST_F(HostModuleTest, NoAnswerInTimeLeavesTheOutcomeUnknown) {
  supervisor_.Serve(Status(CallStatus::TimedOut));
  EXPECT_EQ(Call(), (ModuleAnswer{false, HostTimedOutMessage()}));

  // A supervisor that says nothing: the terminal's own limit.
  FakeSupervisor silent(dir_.path() / "silent.sock");
  silent.Serve("", false);
  const auto start = steady_clock::now();
  EXPECT_EQ(HostPaymentModule((dir_.path() / "silent.sock").string(), "/VEKDLL.dll", std::chrono::milliseconds(300))
                .Call("r"),
            (ModuleAnswer{false, HostTimedOutMessage()}));
  EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(3));

  EXPECT_NE(HostEndedMessage(), HostTimedOutMessage());
  for (const std::string* text : {&HostEndedMessage(), &HostTimedOutMessage()})
    EXPECT_NE(text->find(testsupport::K("거래결과를 알 수 없습니다")), std::string::npos);
}

// The working folder decides: VEKDLL.so in process before VEKDLL.dll through the
// host; neither is a missing module.
TEST_F(HostModuleTest, TheTerminalTakesItsLinuxModuleFirstAndTheWindowsOneThroughTheHost) {
  testsupport::WorkingDirectory cwd(dir_.path());
  const char* previous = std::getenv("VEK_MODULE_SOCKET");
  const std::string saved = previous ? previous : "";
  setenv("VEK_MODULE_SOCKET", socket_.c_str(), 1);
  const auto module = TerminalPaymentModule();

  EXPECT_FALSE(module->Call("r"));
  testsupport::WriteFile(dir_.path() / "VEKDLL.dll", "a Windows library");
  testsupport::InstallModule(dir_.path(), SCRIPTED_MODULE_PATH);
  testsupport::ScriptModuleAnswer(dir_.path(), 1, "in process");
  EXPECT_EQ(module->Call("r"), (ModuleAnswer{true, "in process"}));

  std::filesystem::remove(dir_.path() / "VEKDLL.so");
  supervisor_.Serve(Answered(1, "through the host"));
  EXPECT_EQ(module->Call("r"), (ModuleAnswer{true, "through the host"}));
  ASSERT_TRUE(supervisor_.Call());
  EXPECT_EQ(supervisor_.Call()->ModulePath, (dir_.path() / "VEKDLL.dll").string());

  if (previous) setenv("VEK_MODULE_SOCKET", saved.c_str(), 1);
  else unsetenv("VEK_MODULE_SOCKET");
}
