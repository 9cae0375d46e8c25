// vek: the window's commands from a command line, their checks, output and exit
// statuses; and the program itself in a program folder of its own.
#include "cli/Vek.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <filesystem>

#include "GoldenReceipts.h"
#include "ScriptedPaymentModule.h"
#include "TestSupport.h"
#include "payment/PaymentExchange.h"

using cli::RunVek;
using testsupport::FramedReply;
using testsupport::K;

namespace {

class VekTest : public ::testing::Test {
 protected:
  cli::VekResult Run(std::vector<std::string> args) {
    const cli::VekTerminal terminal{settings,
                                    module,
                                    {[this] {
                                       ++printerAsked;
                                       return printerOff;
                                     },
                                     [this](const receipt::ReceiptLines& lines) {
                                       if (printerFails) throw std::runtime_error("Disk full");
                                       printed.push_back(lines);
                                     }},
                                    ","};
    return RunVek(args, terminal);
  }

  settings::MerchantSettings settings = testsupport::GoldenSettings();
  testsupport::ScriptedPaymentModule module;
  std::vector<receipt::ReceiptLines> printed;
  bool printerFails = false;
  std::optional<std::string> printerOff;
  int printerAsked = 0;
};

}  // namespace

TEST_F(VekTest, HelpAndUsage) {
  const auto help = Run({"--help"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_NE(help.Out.find("vek card-cancel NUMBER AMOUNT DATE APPROVAL"), std::string::npos);
  EXPECT_NE(help.Out.find("6 the service accepted an inquiry whose amount could not be read"), std::string::npos);
  for (const std::vector<std::string>& wrong : {std::vector<std::string>{}, {"refund", "1"}, {"use", "1"}, {"inquiry"}}) {
    const auto result = Run(wrong);
    EXPECT_EQ(result.Status, cli::kInputRefused);
    EXPECT_NE(result.Err.find("usage: vek"), std::string::npos);
  }
  EXPECT_TRUE(module.Requests.empty());
}

TEST_F(VekTest, TheWindowsChecksInTheirOrderAndNoRequest) {
  EXPECT_EQ(Run({"use", "", ""}).Err, "이용권NO를 입력하십시요.\n");
  EXPECT_EQ(Run({"use", "1", ""}).Err, "이용금액을 입력하십시요.\n");
  EXPECT_EQ(Run({"cancel", "1", "100", "", ""}).Err, "원거래일을 입력하십시요.\n");
  const auto result = Run({"cancel", "1", "100", "20241205", ""});
  EXPECT_EQ(result.Err, "원거래번호를 입력하십시요.\n");
  EXPECT_EQ(result.Status, cli::kInputRefused);
  EXPECT_TRUE(module.Requests.empty());

  // The inquiry and the cash-card commands check no empty field: a blank goes out
  // as blanks.
  module.Answers(true, FramedReply({{1, "0101"}}, 104));
  Run({"card-approve", "", ""});
  Run({"inquiry", " "});
  ASSERT_EQ(module.Requests.size(), 2u);
  EXPECT_EQ(module.Requests[1].substr(31, 13), std::string(13, ' '));
}

// A value longer than its field would move every field after it: the voucher
// number and the amount typed twice give a valid-looking request for 1 won.
TEST_F(VekTest, ValuesThatWouldLeaveTheirFieldsAreRefusedAndNothingIsSent) {
  const std::pair<std::vector<std::string>, const char*> refused[] = {
      {{"use", "1000000000003000000001", "50000"}, "이용권NO는 13자리 이하로 입력하십시요.\n"},
      {{"use", "1", "1000000000"}, "이용금액은 0원부터 999,999,999원까지 입력하십시요.\n"},
      {{"card-approve", "9", "-5"}, "금액은 0원부터 999,999,999원까지 입력하십시요.\n"},
      {{"card-cancel", "9", "5", "20241205", "C000000000000000000001"}, "원거래번호는 20자리 이하로 입력하십시요.\n"},
      {{"inquiry", "10\x1bp"}, "이용권NO에 입력할 수 없는 문자가 있습니다.\n"},
  };
  for (const auto& [args, message] : refused) {
    const auto result = Run(args);
    EXPECT_EQ(result.Status, cli::kInputRefused);
    EXPECT_EQ(result.Err, message);
  }
  settings.TerminalId = std::string(21, '1');
  EXPECT_EQ(Run({"inquiry", "1"}).Err, "단말기ID오류, 단말기ID는 20자리 이하로 ini에서 설정하세요.\n");
  EXPECT_TRUE(module.Requests.empty());
  EXPECT_EQ(printerAsked, 0);
}

// The printer is asked before any payment that prints, and not for an inquiry.
TEST_F(VekTest, NoPaymentWhenThePrinterCannotPrint) {
  printerOff = "Invalid port number (COM7)";
  module.Answers(true, testsupport::GoldenOperations()[0].reply);
  const auto result = Run({"use", "1", "100"});
  EXPECT_EQ(result.Status, cli::kReceiptNotPrinted);
  EXPECT_EQ(result.Err, "Invalid port number (COM7)\n");
  EXPECT_TRUE(module.Requests.empty());

  module.Answers(true, FramedReply({{1, "0000"}, {169, "inquiry"}, {273, "000015000"}}));
  EXPECT_EQ(Run({"inquiry", "1"}).Status, cli::kAccepted);
  EXPECT_EQ(printerAsked, 1);
}

TEST_F(VekTest, AcceptedOperationsPrintTheWindowsReceiptAndSayTheMessage) {
  module.Answers(true, testsupport::GoldenOperations()[3].reply);
  const auto result = Run({"card-cancel", "9876543210123", "50000", "20241205", "C0000001"});
  EXPECT_EQ(result.Status, cli::kAccepted);
  EXPECT_EQ(result.Out, "승인되었습니다.\n");
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_EQ(printed[0], receipt::ComposeReceiptLines(testsupport::GoldenCases()[3].input, settings, ","));

  module.Answers(true, FramedReply({{1, "0000"}, {5, "ok"}, {169, K("잔액 15,000원")}, {273, "000015000"}}));
  const auto inquiry = Run({"inquiry", "1000000000001"});
  EXPECT_EQ(inquiry.Status, cli::kAccepted);
  EXPECT_EQ(inquiry.Out, "잔액 15,000원\n15000\n");
  EXPECT_EQ(printed.size(), 1u);
}

TEST_F(VekTest, ExitStatusSaysHowItEnded) {
  module.Answers(true, FramedReply({{1, "1003"}, {5, K("잔액이 부족합니다.")}}, 104));
  auto result = Run({"use", "1", "100"});
  EXPECT_EQ(result.Status, cli::kRefused);
  EXPECT_EQ(result.Out, "잔액이 부족합니다.\n");

  module.Answers(false, K("서버연결실패"));
  result = Run({"use", "1", "100"});
  EXPECT_EQ(result.Status, cli::kCallFailed);
  EXPECT_EQ(result.Out, "서버연결실패\n");

  module.Answer.reset();
  result = Run({"use", "1", "100"});
  EXPECT_EQ(result.Status, cli::kModuleUnusable);
  EXPECT_EQ(result.Err, "신용모듈오류\n");

  module.Answers(true, FramedReply({{1, "0000"}, {169, "inquiry"}, {273, "1500 "}}));
  result = Run({"inquiry", "1"});
  EXPECT_EQ(result.Status, cli::kReplyUnreadable);
  EXPECT_EQ(result.Err, "'1500     ' is not a valid integer value\n");

  printerFails = true;
  module.Answers(true, testsupport::GoldenOperations()[0].reply);
  result = Run({"use", "1", "100"});
  EXPECT_EQ(result.Status, cli::kReceiptNotPrinted);
  EXPECT_EQ(result.Out, "승인되었습니다.\n");
  EXPECT_EQ(result.Err, "Disk full\n");
}

#ifndef _WIN32
// The program as a point-of-sale program calls it: its own folder with the
// settings and the printer port, the module in the working folder. (Under Wine,
// tests/windows runs vek.exe against the simulator.)
TEST(VekProgram, PrintsOnThePrinterTheSettingsName) {
  testsupport::TempDir dir;
  testsupport::WorkingDirectory cwd(dir.path());
  std::filesystem::copy_file(VEK_PATH, dir.path() / "vek");
  testsupport::WriteFile(dir.path() / "VEK_Demo.ini", testsupport::SettingsFile("0"));
  std::filesystem::create_directories(dir.path() / "devices");
  std::filesystem::create_symlink(dir.path() / "paper.bin", dir.path() / "devices" / "LPT1");
  testsupport::InstallModule(dir.path(), SCRIPTED_MODULE_PATH);
  testsupport::ScriptModuleAnswer(dir.path(), 1, testsupport::GoldenOperations()[0].reply);

  FILE* out = popen("./vek use 1234567890123 10000", "r");
  ASSERT_NE(out, nullptr);
  char line[256] = {};
  const std::string said = std::fgets(line, sizeof line, out) ? line : "";
  EXPECT_EQ(WEXITSTATUS(pclose(out)), cli::kAccepted);
  EXPECT_EQ(said, "승인되었습니다.\n");
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "paper.bin"), testsupport::GoldenBytes("receipt-voucher-use.lpt"));

  // A serial printer that isn't there: found before the payment, which isn't made.
  std::filesystem::remove(dir.path() / "scripted-request.bin");
  testsupport::WriteFile(dir.path() / "VEK_Demo.ini", testsupport::SettingsFile("7"));
  EXPECT_EQ(WEXITSTATUS(std::system("./vek use 1234567890123 10000 >/dev/null 2>err.txt")), cli::kReceiptNotPrinted);
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "err.txt"), "Invalid port number (COM7)\n");
  EXPECT_EQ(testsupport::ScriptedModuleRequest(dir.path()), "");
}
#endif
