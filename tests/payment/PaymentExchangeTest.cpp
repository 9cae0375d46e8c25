#include "payment/PaymentExchange.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "payment/LibraryPaymentModule.h"
#include "payment/TerminalPaymentModule.h"
#include "tests/support/TestSupport.h"

using namespace payment;

namespace {

// A working directory holding ./VEKDLL.so, as the program finds its module.
class ExchangeTest : public ::testing::Test {
 protected:
  void UseModule(const char* library) {
    testsupport::InstallModule(dir_.path(), library);
  }
  void Script(unsigned char result, std::string_view reply) {
    testsupport::ScriptModuleAnswer(dir_.path(), result, reply);
  }
  ExchangeResult Exchange(std::string_view request = "\x02PAIR\x1C" "9100\x1C" "request\x03") {
    LibraryPaymentModule module;
    return PaymentExchange(module, request);
  }
  bool ModuleStillLoaded() { return testsupport::LibraryLoaded(kModulePath); }
  bool ModuleWasCalled() { return std::filesystem::exists(dir_.path() / "scripted-call.txt"); }

  testsupport::TempDir dir_;
  testsupport::WorkingDirectory cwd_{dir_.path()};
};

const std::string kMessage = "  approved" + std::string(90, ' ');

}  // namespace

TEST_F(ExchangeTest, AbsentModuleIsUnavailable) {
  const auto result = Exchange();
  EXPECT_EQ(result.Outcome, ExchangeOutcome::ModuleUnavailable);
  EXPECT_EQ(result.LabelText, "");
}

TEST_F(ExchangeTest, ModuleWithoutEntryPointIsUnavailableAndReleased) {
  UseModule(NOENTRY_MODULE_PATH);
  EXPECT_EQ(Exchange().Outcome, ExchangeOutcome::ModuleUnavailable);
  EXPECT_FALSE(ModuleStillLoaded());
}

TEST_F(ExchangeTest, SendsTheRequestToTheFixedServerAndReleasesTheModule) {
  UseModule(SCRIPTED_MODULE_PATH);
  Script(1, "\x02" "0000" + kMessage + "\x03");
  const std::string request = "\x02PAIR\x1C" "9000\x1C" "body\x03";
  const auto result = Exchange(request);
  EXPECT_EQ(result.Outcome, ExchangeOutcome::Accepted);
  EXPECT_EQ(result.LabelText, "approved");
  EXPECT_EQ(result.Payload, "0000" + kMessage);
  EXPECT_EQ(testsupport::ScriptedModuleRequest(dir_.path()), request);
  EXPECT_EQ(testsupport::ScriptedModuleCall(dir_.path()), "127.0.0.1 19976");
  EXPECT_FALSE(ModuleStillLoaded());
}

TEST_F(ExchangeTest, FalseShowsTheReplyTextAsItIs) {
  UseModule(SCRIPTED_MODULE_PATH);
  Script(0, "  server down \x02 ");
  const auto result = Exchange();
  EXPECT_EQ(result.Outcome, ExchangeOutcome::CallFailed);
  EXPECT_EQ(result.LabelText, "  server down \x02 ");

  Script(0, "");
  EXPECT_EQ(Exchange().LabelText, "");
}

TEST_F(ExchangeTest, AnyNonZeroByteIsTrue) {
  UseModule(SCRIPTED_MODULE_PATH);
  Script(0x80, "\x02" "0000" + kMessage + "\x03");
  EXPECT_EQ(Exchange().Outcome, ExchangeOutcome::Accepted);
}

TEST_F(ExchangeTest, RefusalsShowTheTrimmedMessage) {
  UseModule(SCRIPTED_MODULE_PATH);
  Script(1, "\x02" "0001  no such voucher   \x03");
  auto result = Exchange();
  EXPECT_EQ(result.Outcome, ExchangeOutcome::Refused);
  EXPECT_EQ(result.LabelText, "no such voucher");

  Script(1, "\x02" "00 0" + kMessage + "\x03");
  EXPECT_EQ(Exchange().Outcome, ExchangeOutcome::Refused);
}

TEST_F(ExchangeTest, TrueWithoutEtxOrWithAShortPayloadIsARefusalWithAnEmptyMessage) {
  UseModule(SCRIPTED_MODULE_PATH);
  Script(1, "\x02" "0000" + kMessage);
  auto result = Exchange();
  EXPECT_EQ(result.Outcome, ExchangeOutcome::Refused);
  EXPECT_EQ(result.LabelText, "");
  EXPECT_EQ(result.Payload, "");

  Script(1, "\x02" "00\x03");
  result = Exchange();
  EXPECT_EQ(result.Outcome, ExchangeOutcome::Refused);
  EXPECT_EQ(result.LabelText, "");
}

TEST_F(ExchangeTest, ReplyWithoutTerminatingZeroIsReadNoFurtherThan1024Bytes) {
  UseModule(SCRIPTED_MODULE_PATH);
  Script(0, std::string(1025, 'R'));
  const auto result = Exchange();
  EXPECT_EQ(result.Outcome, ExchangeOutcome::CallFailed);
  EXPECT_EQ(result.LabelText, std::string(1024, 'R'));
}

TEST_F(ExchangeTest, RequestLongerThanTheBufferIsNeverSent) {
  UseModule(SCRIPTED_MODULE_PATH);
  Script(1, "\x02" "0000" + kMessage + "\x03");
  EXPECT_EQ(Exchange(std::string(1025, 'Q')).Outcome, ExchangeOutcome::InputRefused);
  EXPECT_FALSE(ModuleWasCalled());

  EXPECT_EQ(Exchange(std::string(1024, 'Q')).Outcome, ExchangeOutcome::Accepted);
  EXPECT_EQ(testsupport::ScriptedModuleRequest(dir_.path()), std::string(1024, 'Q'));
}

TEST(ExchangeMessages, AreKoreanTextsForTheMessageBox) {
  EXPECT_EQ(ModuleUnavailableMessage(), testsupport::K("신용모듈오류"));
  EXPECT_FALSE(RequestTooLongMessage().empty());
}

#ifndef _WIN32
// A start in a folder anyone can write (a shared downloads folder, /tmp) must not
// load what another user put there; the operator is told why.
TEST_F(ExchangeTest, AModuleWhereAnyoneCanWriteIsNotCalledAndSaysWhy) {
  UseModule(SCRIPTED_MODULE_PATH);
  Script(1, "\x02" "0000" + kMessage + "\x03");
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
  const auto module = TerminalPaymentModule();
  const auto result = PaymentExchange(*module, "\x02PAIR\x1C" "9100\x1C" "request\x03");
  EXPECT_EQ(result.Outcome, ExchangeOutcome::ModuleUnavailable);
  EXPECT_NE(result.LabelText.find(dir_.path().string()), std::string::npos) << result.LabelText;
  EXPECT_FALSE(ModuleWasCalled());

  std::filesystem::permissions(dir_.path(), std::filesystem::perms::owner_all);
  EXPECT_EQ(PaymentExchange(*module, "\x02PAIR\x1C" "9100\x1C" "request\x03").Outcome, ExchangeOutcome::Accepted);
}
#endif
