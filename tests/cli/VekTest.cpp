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
    return RunVek(args, settings, module, [this](const receipt::ReceiptLines& lines) {
      if (printerFails) throw std::runtime_error("Disk full");
      printed.push_back(lines);
    });
  }

  settings::MerchantSettings settings = testsupport::GoldenSettings();
  testsupport::ScriptedPaymentModule module;
  std::vector<receipt::ReceiptLines> printed;
  bool printerFails = false;
};

}  // namespace

TEST_F(VekTest, HelpAndUsage) {
  const auto help = Run({"--help"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_NE(help.Out.find("vek card-cancel NUMBER AMOUNT DATE APPROVAL"), std::string::npos);
  EXPECT_NE(help.Out.find("5 the receipt could not be printed"), std::string::npos);
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

  // The inquiry and the cash-card commands check nothing: a blank goes out as blanks.
  module.Answers(true, FramedReply({{1, "0101"}}, 104));
  Run({"card-approve", "", ""});
  Run({"inquiry", " "});
  ASSERT_EQ(module.Requests.size(), 2u);
  EXPECT_EQ(module.Requests[1].substr(31, 13), std::string(13, ' '));
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
  EXPECT_EQ(result.Status, cli::kModuleUnusable);
  EXPECT_EQ(result.Err, "'1500     ' is not a valid integer value\n");

  const std::size_t sent = module.Requests.size();
  result = Run({"inquiry", std::string(2000, '9')});
  EXPECT_EQ(result.Status, cli::kInputRefused);
  EXPECT_EQ(module.Requests.size(), sent);

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

  // A serial printer that isn't there: the operation went through, the receipt didn't.
  testsupport::WriteFile(dir.path() / "VEK_Demo.ini", testsupport::SettingsFile("7"));
  EXPECT_EQ(WEXITSTATUS(std::system("./vek use 1234567890123 10000 >/dev/null 2>err.txt")), cli::kReceiptNotPrinted);
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "err.txt"), "Invalid port number (COM7)\n");
}
#endif
