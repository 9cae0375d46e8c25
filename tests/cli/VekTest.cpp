// vek: the window's commands from a command line, their checks, output and exit
// statuses; and the program itself in a program folder of its own.
#include "cli/Vek.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <filesystem>
#include <future>

#include "journal/Journal.h"
#include "payment/PaymentExchange.h"
#include "platform/text/Cp949.h"
#include "receipt/PrinterStatus.h"
#include "receipt/ReceiptFraming.h"
#include "tests/support/GoldenReceipts.h"
#include "tests/support/ScriptedPaymentModule.h"
#include "tests/support/TestSupport.h"
#ifndef _WIN32
#include "tests/support/PseudoTerminal.h"
#endif

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
                                       if (desk->journal()) journaledBeforePrinting.push_back(desk->journal()->Last());
                                       if (printerFails || printsBeforeFailure-- == 0) throw std::runtime_error("Disk full");
                                       printed.push_back(lines);
                                     }},
                                    *desk,
                                    ","};
    return RunVek(args, terminal);
  }
  static settings::MerchantSettings Settings(const testsupport::TempDir& dir) {
    settings::MerchantSettings s = testsupport::GoldenSettings();
    s.JournalFile = dir.dir() + "journal.db";
    return s;
  }

  testsupport::TempDir dir;
  settings::MerchantSettings settings = Settings(dir);
  std::unique_ptr<journal::ReceiptDesk> desk = std::make_unique<journal::ReceiptDesk>(settings);
  std::vector<std::optional<journal::Entry>> journaledBeforePrinting;
  testsupport::ScriptedPaymentModule module;
  std::vector<receipt::ReceiptLines> printed;
  bool printerFails = false;
  int printsBeforeFailure = -1;  // the printer fails after this many receipts
  receipt::PrinterReadiness printerOff;
  int printerAsked = 0;
};

}  // namespace

TEST_F(VekTest, HelpAndUsage) {
  const auto help = Run({"--help"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_NE(help.Out.find("vek card-cancel NUMBER AMOUNT DATE APPROVAL"), std::string::npos);
  EXPECT_NE(help.Out.find("6 the service accepted an inquiry whose amount could not be read"), std::string::npos);
  EXPECT_NE(help.Out.find("  vek close [DATE]  "), std::string::npos);
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
  settings.TerminalId = "1004";
  settings.BusinessNumber = "12345-6789";
  const auto business = Run({"inquiry", "1"});
  EXPECT_EQ(business.Status, cli::kInputRefused);
  EXPECT_EQ(business.Err, "사업자번호오류, 사업자번호는 10자리 숫자로 ini에서 설정하세요.\n");
  EXPECT_TRUE(module.Requests.empty());
  EXPECT_EQ(printerAsked, 0);
}

// The printer is asked before any payment that prints, and not for an inquiry.
TEST_F(VekTest, NoPaymentWhenThePrinterCannotPrint) {
  printerOff.NotReady = "Invalid port number (COM7)";
  module.Answers(true, testsupport::GoldenOperations()[0].reply);
  const auto result = Run({"use", "1", "100"});
  EXPECT_EQ(result.Status, cli::kReceiptNotPrinted);
  EXPECT_EQ(result.Err, "Invalid port number (COM7)\n");
  EXPECT_TRUE(module.Requests.empty());

  module.Answers(true, FramedReply({{1, "0000"}, {169, "inquiry"}, {273, "000015000"}}));
  EXPECT_EQ(Run({"inquiry", "1"}).Status, cli::kAccepted);
  EXPECT_EQ(printerAsked, 1);

  // A roll near its end: the payment is made and printed, the warning on standard error.
  printerOff = {.Warning = K("영수증 용지가 얼마 남지 않았습니다 (COM3). 용지를 준비하십시오.")};
  module.Answers(true, testsupport::GoldenOperations()[0].reply);
  const auto warned = Run({"use", "1", "100"});
  EXPECT_EQ(warned.Status, cli::kAccepted);
  EXPECT_EQ(warned.Out, "승인되었습니다.\n");
  EXPECT_EQ(warned.Err, "영수증 용지가 얼마 남지 않았습니다 (COM3). 용지를 준비하십시오.\n");
  EXPECT_EQ(printed.size(), 1u);
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
  EXPECT_EQ(result.Err, "Disk full\nvek reprint A0000123: 다시 인쇄\n");
}

// Every payment is in the journal before the module has its request (in flight);
// once accepted it is completed with its receipt, committed before the receipt
// reaches the printer; a call the module failed stays as of unknown outcome,
// refusals leave nothing, inquiries are never in it.
TEST_F(VekTest, AcceptedOperationsAreJournaledBeforeTheyPrint) {
  const auto operations = testsupport::GoldenOperations();
  const char* commands[] = {"use", "cancel", "card-approve", "card-cancel"};
  std::vector<std::vector<journal::Entry>> inFlight;
  module.During = [&] { inFlight.push_back(desk->journal()->InStates({journal::PrintState::InFlight})); };
  for (std::size_t i = 0; i < operations.size(); ++i) {
    const payment::EntryTexts& e = operations[i].entries;
    std::vector<std::string> args{commands[i], e.Number, e.Amount};
    if (i % 2 == 1) args.insert(args.end(), {e.OriginalDate, e.OriginalApproval});
    module.Answers(true, operations[i].reply);
    ASSERT_EQ(Run(args).Status, cli::kAccepted);
    const std::optional<journal::Entry>& before = journaledBeforePrinting.back();
    ASSERT_TRUE(before);
    EXPECT_EQ(before->Printed, journal::PrintState::Pending);
    EXPECT_EQ(before->Kind, testsupport::GoldenCases()[i].input.Kind);
    EXPECT_EQ(before->ApprovalNumber, testsupport::GoldenCases()[i].input.ApprovalNumber);
    EXPECT_EQ(before->Request, module.Requests.back());
    EXPECT_EQ(before->Reply, operations[i].reply);
    EXPECT_EQ(before->Lines, printed.back());
    EXPECT_EQ(before->Framed, testsupport::GoldenBytes(std::string("receipt-") + testsupport::GoldenCases()[i].name + ".lpt"));
    EXPECT_EQ(desk->journal()->Last()->Printed, journal::PrintState::Printed);
    ASSERT_EQ(inFlight.back().size(), 1u);
    EXPECT_EQ(inFlight.back()[0].Request, module.Requests.back());
    EXPECT_EQ(inFlight.back()[0].Kind, testsupport::GoldenCases()[i].input.Kind);
    EXPECT_EQ(inFlight.back()[0].Total, testsupport::GoldenCases()[i].input.TotalAmount);
    EXPECT_EQ(inFlight.back()[0].Id, before->Id);  // the same row, completed
  }
  module.Answers(true, FramedReply({{1, "1003"}}, 104));
  Run({"use", "1", "100"});
  EXPECT_EQ(inFlight.back().size(), 1u);
  module.Answers(false, K("서버연결실패"));
  Run({"card-approve", "1", "100"});
  Run({"use", "1", "-100"});
  module.Answers(true, FramedReply({{1, "0000"}, {169, "inquiry"}, {273, "000015000"}}));
  Run({"inquiry", "1"});
  EXPECT_TRUE(inFlight.back().empty());
  EXPECT_EQ(inFlight.size(), 7u);
  EXPECT_EQ(desk->journal()->Day(journal::LocalTimeNow().substr(0, 10)).size(), 5u);
  EXPECT_TRUE(desk->journal()->InStates({journal::PrintState::InFlight}).empty());
  const auto unknown = desk->journal()->InStates({journal::PrintState::Unknown});
  ASSERT_EQ(unknown.size(), 1u);
  EXPECT_EQ(unknown[0].Kind, receipt::ReceiptKind::CashCardApproval);
}

// vek ended while the module had the request (killed, the power cut): the next
// listing shows the operation as of unknown outcome and says to check it with an
// inquiry; it is no accepted operation and no receipt owed.
TEST_F(VekTest, OperationWhoseAnswerNeverCameIsShownAsUnknown) {
  module.Answers(true, testsupport::GoldenOperations()[0].reply);
  module.During = [] { throw std::runtime_error("the terminal ended"); };
  EXPECT_THROW(Run({"use", "1234567890123", "10000"}), std::runtime_error);
  module.During = nullptr;
  desk = std::make_unique<journal::ReceiptDesk>(settings);  // the next run
  const auto listing = Run({"journal"});
  EXPECT_EQ(listing.Status, cli::kAccepted);
  EXPECT_NE(listing.Out.find("  이용권 사용  *********0123  10,000원    결과 알 수 없음 (vek settle 1)\n"), std::string::npos)
      << listing.Out;
  EXPECT_NE(listing.Out.find("합계 이용권 사용  0건  0원\n"), std::string::npos);
  EXPECT_NE(listing.Out.find("인쇄되지 않은 영수증 0건\n"), std::string::npos);
  EXPECT_NE(listing.Out.find("결과를 알 수 없는 거래가 있습니다 (1건). 다시 하기 전에 조회로 확인하십시오.\n  #1  " +
                             journal::LocalTimeNow().substr(0, 10)),
            std::string::npos)
      << listing.Out;
  EXPECT_EQ(Run({"reprint"}).Status, cli::kInputRefused);  // nothing accepted to print
}

// The server was down ("서버연결실패"): the outcome is unknown until the operator,
// having checked with the service, settles it - once. The row leaves the notice, no
// receipt is printed for a charge whose answer never came, and it counts in no
// total of accepted operations.
TEST_F(VekTest, UnknownOutcomeIsSettledOnceByTheOperator) {
  module.Answers(false, K("서버연결실패"));
  EXPECT_EQ(Run({"use", "1234567890123", "10000"}).Status, cli::kCallFailed);
  module.Answers(false, K("서버연결실패"));
  EXPECT_EQ(Run({"card-approve", "9876543210123", "50000"}).Status, cli::kCallFailed);
  const std::vector<journal::Entry> unknown =
      desk->journal()->InStates({journal::PrintState::InFlight, journal::PrintState::Unknown});
  ASSERT_EQ(unknown.size(), 2u);
  const std::string use = std::to_string(unknown[0].Id), approval = std::to_string(unknown[1].Id);
  EXPECT_NE(Run({"journal"}).Out.find("#" + use + "  "), std::string::npos);
  EXPECT_NE(Run({"journal"}).Out.find("결과 알 수 없음 (vek settle " + use + ")\n"), std::string::npos);

  const auto charged = Run({"settle", use, "charged"});
  EXPECT_EQ(charged.Status, cli::kAccepted) << charged.Err;
  EXPECT_NE(charged.Out.find("#" + use + "  이용권 사용  10,000원  결제됨 (운영자 확인 " +
                             journal::LocalTimeNow().substr(0, 10)),
            std::string::npos)
      << charged.Out;
  EXPECT_NE(charged.Out.find("인쇄할 영수증이 없습니다"), std::string::npos);
  EXPECT_TRUE(printed.empty());
  const auto again = Run({"settle", use, "not-charged"});
  EXPECT_EQ(again.Status, cli::kInputRefused);
  EXPECT_NE(again.Err.find("이미 확인되었습니다: 결제됨"), std::string::npos) << again.Err;
  EXPECT_EQ(Run({"settle", approval, "not-charged"}).Status, cli::kAccepted);

  const auto listing = Run({"journal"});
  EXPECT_EQ(listing.Out.find("결과를 알 수 없는 거래"), std::string::npos) << listing.Out;
  EXPECT_NE(listing.Out.find("결제 안 됨 (운영자 확인 "), std::string::npos);
  EXPECT_NE(listing.Out.find("합계 이용권 사용  0건  0원\n"), std::string::npos);

  module.Answers(true, testsupport::GoldenOperations()[0].reply);
  Run({"use", "1234567890123", "10000"});
  const std::string accepted = std::to_string(desk->journal()->Last()->Id);
  EXPECT_EQ(Run({"settle", accepted, "not-charged"}).Status, cli::kInputRefused);  // its answer is recorded
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"settle", "999", "charged"}, {"settle", use, "maybe"}, {"settle", "-1", "charged"},
           {"settle", "+" + use, "charged"}, {"settle", "0", "charged"}})
    EXPECT_EQ(Run(bad).Status, cli::kInputRefused) << bad[1] << " " << bad[2];
}

// A receipt the printer didn't take stays in the journal, and vek reprint prints it
// again: the golden receipt with one line "재출력" under its title.
TEST_F(VekTest, ReceiptThatDidNotPrintIsReprintedWithItsMark) {
  printerFails = true;
  module.Answers(true, testsupport::GoldenOperations()[0].reply);
  EXPECT_EQ(Run({"use", "1234567890123", "10000"}).Status, cli::kReceiptNotPrinted);
  EXPECT_EQ(desk->journal()->Last()->Printed, journal::PrintState::Failed);

  printerFails = false;
  const auto reprint = Run({"reprint"});
  EXPECT_EQ(reprint.Status, cli::kAccepted);
  std::string paper;
  for (const std::string& write : receipt::PrinterPortWrites(printed.back())) paper += write;
  std::string golden = testsupport::GoldenBytes("receipt-voucher-use.lpt");
  golden.insert(golden.find("\r\n") + 2, std::string(18, ' ') + K("재출력") + "\r\n");
  EXPECT_EQ(paper, golden);
  EXPECT_EQ(desk->journal()->Last()->Printed, journal::PrintState::Printed);

  EXPECT_EQ(Run({"reprint", "A0000123"}).Status, cli::kAccepted);
  EXPECT_EQ(printed.size(), 2u);
  EXPECT_EQ(Run({"reprint", "A9"}).Status, cli::kInputRefused);
  printerOff.NotReady = "File not found";
  EXPECT_EQ(Run({"reprint"}).Status, cli::kReceiptNotPrinted);
}

// Receipts that never printed are owed until they do, whatever printed after them:
// vek reprint prints the oldest owed one and says how many remain, vek journal
// counts them; with none owed it prints the last receipt again.
TEST_F(VekTest, EveryReceiptOwedIsReprintedOldestFirst) {
  const auto operations = testsupport::GoldenOperations();
  printerFails = true;
  module.Answers(true, operations[0].reply);
  Run({"use", "1234567890123", "10000"});
  module.Answers(true, operations[2].reply);
  Run({"card-approve", "9876543210123", "50000"});
  printerFails = false;
  module.Answers(true, operations[3].reply);
  ASSERT_EQ(Run({"card-cancel", "9876543210123", "50000", "20241205", "C0000009"}).Status, cli::kAccepted);
  EXPECT_NE(Run({"journal"}).Out.find("인쇄되지 않은 영수증 2건 (vek reprint)\n"), std::string::npos);

  const std::pair<const char*, const char*> expected[] = {
      {"재출력: A0000123\n인쇄되지 않은 영수증 1건 (vek reprint)\n", "receipt-voucher-use.lpt"},
      {"재출력: C0000001\n인쇄되지 않은 영수증 0건\n", "receipt-cashcard-approval.lpt"},
      {"재출력: C0000002\n인쇄되지 않은 영수증 0건\n", "receipt-cashcard-cancel.lpt"},
  };
  for (const auto& [said, golden] : expected) {
    const auto reprint = Run({"reprint"});
    EXPECT_EQ(reprint.Status, cli::kAccepted);
    EXPECT_EQ(reprint.Out, said);
    std::string paper;
    for (const std::string& write : receipt::PrinterPortWrites(printed.back())) paper += write;
    EXPECT_EQ(paper.substr(paper.find(testsupport::K("승인번호"))),
              testsupport::GoldenBytes(golden).substr(testsupport::GoldenBytes(golden).find(testsupport::K("승인번호"))));
  }
}

// vek reprint --all prints every receipt owed, oldest first; a printer failing
// midway stops the batch and the rest stay owed, for the next try.
TEST_F(VekTest, AllReceiptsOwedAreReprintedUntilThePrinterFails) {
  const auto operations = testsupport::GoldenOperations();
  printerFails = true;
  for (const int i : {0, 2, 0}) {
    module.Answers(true, operations[static_cast<std::size_t>(i)].reply);
    Run({i == 0 ? "use" : "card-approve", "9876543210123", i == 0 ? "10000" : "50000"});
  }
  printerFails = false;
  printsBeforeFailure = 1;
  const auto stopped = Run({"reprint", "--all"});
  EXPECT_EQ(stopped.Status, cli::kReceiptNotPrinted);
  EXPECT_EQ(stopped.Out, "재출력 1건\n");
  EXPECT_EQ(stopped.Err, "Disk full\n인쇄되지 않은 영수증 2건 (vek reprint)\n");
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_NE(printed[0].at(3).find(K("재출력")), std::string::npos);
  printerOff.Warning = K("영수증 용지가 얼마 남지 않았습니다 (COM3). 용지를 준비하십시오.");
  const auto rest = Run({"reprint", "--all"});
  EXPECT_EQ(rest.Status, cli::kAccepted);
  EXPECT_EQ(rest.Out, "재출력 2건\n");
  EXPECT_EQ(rest.Err, "영수증 용지가 얼마 남지 않았습니다 (COM3). 용지를 준비하십시오.\n");  // printed all the same
  EXPECT_EQ(printed.size(), 3u);
  EXPECT_EQ(Run({"reprint", "--all"}).Out, "재출력 0건\n");
  printerOff.NotReady = "File not found";
  EXPECT_EQ(Run({"reprint", "--all"}).Status, cli::kReceiptNotPrinted);
}

// A sale or approval cancelled since is reprinted marked as cancelled: its own
// receipt says nothing of it (a cancellation's receipt has it in its title).
TEST_F(VekTest, ReprintOfACancelledSaleSaysSo) {
  const auto operations = testsupport::GoldenOperations();
  module.Answers(true, operations[0].reply);
  Run({"use", "1234567890123", "10000"});
  module.Answers(true, operations[1].reply);
  // Typed with a blank the server trims: it is the same approval.
  Run({"cancel", "1234567890123", "10000", "20241205", " A0000123"});
  module.Answers(true, operations[2].reply);
  Run({"card-approve", "9876543210123", "50000"});
  const auto mark = [&](const char* approval) {
    EXPECT_EQ(Run({"reprint", approval}).Status, cli::kAccepted);
    return printed.back().at(3);
  };
  const std::string cancelled = std::string(15, ' ') + K("재출력(취소)");
  const std::string reprinted = std::string(18, ' ') + K("재출력");
  EXPECT_EQ(mark("A0000123"), cancelled);
  EXPECT_EQ(mark("A0000124"), reprinted);
  EXPECT_EQ(mark("C0000001"), reprinted);
  module.Answers(true, operations[3].reply);
  Run({"card-cancel", "9876543210123", "50000", "20241205", "C0000001"});
  EXPECT_EQ(mark("C0000001"), cancelled);
}

TEST_F(VekTest, JournalListsTheDayWithMaskedNumbersAndTotals) {
  // A look at the journal never makes one: told, and nothing is written.
  for (const std::vector<std::string>& look : std::vector<std::vector<std::string>>{
           {"journal"}, {"reprint"}, {"reprint", "--all"}, {"settle", "1", "charged"}, {"close"}}) {
    const auto none = Run(look);
    EXPECT_EQ(none.Status, cli::kNotJournaled) << look[0];
    EXPECT_NE(none.Err.find("파일이 없습니다"), std::string::npos) << none.Err;
    EXPECT_EQ(none.Out, "");
    EXPECT_TRUE(printed.empty());
    EXPECT_FALSE(std::filesystem::exists(settings.JournalFile));
    desk = std::make_unique<journal::ReceiptDesk>(settings);
  }
  const auto operations = testsupport::GoldenOperations();
  module.Answers(true, operations[0].reply);
  Run({"use", "1234567890123", "10000"});
  module.Answers(true, operations[2].reply);
  printerFails = true;
  Run({"card-approve", "9876543210123", "50000"});
  const auto listing = Run({"journal"});
  EXPECT_EQ(listing.Status, cli::kAccepted);
  EXPECT_NE(listing.Out.find("  이용권 사용  *********0123  10,000원  A0000123  인쇄됨\n"), std::string::npos);
  EXPECT_NE(listing.Out.find("  큐비캐쉬 승인  *********0123  50,000원  C0000001  인쇄 안 됨\n"), std::string::npos);
  EXPECT_NE(listing.Out.find("합계 이용권 사용  1건  10,000원\n"), std::string::npos);
  EXPECT_NE(listing.Out.find("합계 큐비캐쉬 취소  0건  0원\n"), std::string::npos);
  EXPECT_EQ(Run({"journal", "19990101"}).Out.find("원  "), std::string::npos);  // a day without operations
  for (const char* bad : {"1999-01-01", "20261399", "20240230", "20230229", "00000101"})
    EXPECT_EQ(Run({"journal", bad}).Status, cli::kInputRefused) << bad;
  EXPECT_EQ(Run({"journal", "20240229"}).Status, cli::kAccepted);

  // A row whose time was cut short (damaged, edited by hand) is listed as it is.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(settings.JournalFile.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE operations SET at = substr(at, 1, 10) WHERE CAST(approval AS TEXT) = 'A0000123'", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const auto damaged = Run({"journal"});
  EXPECT_EQ(damaged.Status, cli::kAccepted);
  EXPECT_NE(damaged.Out.find(journal::LocalTimeNow().substr(0, 10) + "  이용권 사용  *********0123  10,000원  A0000123  인쇄됨\n"),
            std::string::npos)
      << damaged.Out;
  EXPECT_NE(damaged.Out.find("합계 이용권 사용  1건  10,000원\n"), std::string::npos);
}

// The day's closing from the journal: what the service accepted, the receipts
// owed, the outcomes unknown and the ones settled (the operator's finding, with
// when), on the printer and on standard output; the same day closed again is
// marked; a printer failing still writes it here.
TEST_F(VekTest, CloseCountsTheDayPrintsItAndMarksALaterClosing) {
  {
    auto book = journal::Journal::Open(settings.JournalFile);
    const auto at = [](const char* time) { return std::string("2024-12-05 ") + time; };
    book->SetPrinted(book->Record({.At = at("09:00:00"), .Total = 10000, .ApprovalNumber = "A0000123"}),
                     journal::PrintState::Printed);
    book->Record({.At = at("10:00:00"), .Total = 5000, .ApprovalNumber = "A0000124"});  // owed
    book->SetPrinted(book->Record({.At = at("11:00:00"), .Kind = receipt::ReceiptKind::CashCardCancellation,
                                   .Total = 2000, .ApprovalNumber = "C0000009"}),
                     journal::PrintState::Printed);
    book->RecordInFlight({.At = at("12:00:00"), .Total = 7000});  // unknown
    const auto settled = book->RecordInFlight({.At = at("13:00:00"), .Total = 3000});
    ASSERT_EQ(book->Settle(settled, journal::Finding::Charged, at("13:30:15")), journal::SettleResult::Settled);
    book->Record({.At = "2024-12-06 09:00:00", .Total = 99000, .ApprovalNumber = "A0000200"});  // the next day
  }
  const auto first = Run({"close", "20241205"});
  ASSERT_EQ(first.Status, cli::kAccepted) << first.Err;
  ASSERT_EQ(printed.size(), 1u);
  for (const char* line : {"[일 마감]", "마감  일자 : 2024/12/05", "이용권 사용         2건           15,000원",
                           "큐비캐쉬 취소       1건            2,000원", "순 합계                           13,000원",
                           "미인쇄 영수증       1건            5,000원", "결과 미확인         1건            7,000원",
                           "확인: 결제됨        1건            3,000원", "  13:00:00 이용권 사용             3,000원",
                           "  (운영자 확인 13:30:15: 결제됨)", "첫 승인번호 : A0000123", "끝 승인번호 : C0000009"})
    EXPECT_NE(first.Out.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << first.Out;
  EXPECT_EQ(first.Out.find("번째 마감"), std::string::npos);
  EXPECT_EQ(first.Out.find('\x1B'), std::string::npos);  // the printer's commands stay on the paper
  std::string paperText;
  for (const std::string& line : printed[0])
    if (line.find('\x1B') == std::string::npos) paperText += platform::Cp949ToUtf8(line) + (line == "\n" ? "" : "\n");
  EXPECT_EQ(paperText, first.Out);

  printerFails = true;
  const auto second = Run({"close", "20241205"});
  EXPECT_EQ(second.Status, cli::kReceiptNotPrinted);
  EXPECT_NE(second.Err.find("Disk full"), std::string::npos);
  EXPECT_NE(second.Out.find("(2번째 마감)\n"), std::string::npos) << second.Out;
  EXPECT_NE(second.Out.find("이용권 사용         2건"), std::string::npos);
  printerFails = false;
  printerOff.NotReady = "Out of paper";
  const auto third = Run({"close", "20241205"});
  EXPECT_EQ(third.Status, cli::kReceiptNotPrinted);
  EXPECT_NE(third.Err.find("Out of paper"), std::string::npos);
  EXPECT_NE(third.Out.find("(3번째 마감)\n"), std::string::npos);
  EXPECT_EQ(printed.size(), 1u);
  printerOff = {.Warning = K("영수증 용지가 얼마 남지 않았습니다 (COM3). 용지를 준비하십시오.")};
  const auto warned = Run({"close", "20241205"});  // a printer near its paper's end still prints
  EXPECT_EQ(warned.Status, cli::kAccepted);
  EXPECT_EQ(printed.size(), 2u);
  EXPECT_EQ(warned.Err, "영수증 용지가 얼마 남지 않았습니다 (COM3). 용지를 준비하십시오.\n");

  for (const char* bad : {"2024-12-05", "20241232", "x"}) EXPECT_EQ(Run({"close", bad}).Status, cli::kInputRefused) << bad;
  EXPECT_EQ(Run({"close", "20241205", "again"}).Status, cli::kInputRefused);
  settings.MerchantName = "Cafe\x1B" "d\x05";  // a printer command in the merchant's name
  const auto refused = Run({"close", "20241205"});
  EXPECT_EQ(refused.Status, cli::kInputRefused);
  EXPECT_EQ(printed.size(), 2u);
}

// The journal can't be written: a payment it can't know of before the module has it
// is not sent (a terminal dying during the call would leave a charge with nothing at
// the counter); an inquiry, which moves nothing, still goes out.
TEST_F(VekTest, JournalThatCannotBeWrittenSendsNoPayment) {
  settings.JournalFile = dir.dir() + "no-such-folder/journal.db";
  desk = std::make_unique<journal::ReceiptDesk>(settings);
  ASSERT_FALSE(desk->journal());
  ASSERT_TRUE(desk->OpenError());
  module.Answers(true, testsupport::GoldenOperations()[0].reply);
  const auto result = Run({"use", "1234567890123", "10000"});
  EXPECT_EQ(result.Status, cli::kCallFailed);
  EXPECT_TRUE(module.Requests.empty());
  EXPECT_TRUE(printed.empty());
  EXPECT_NE(result.Out.find("거래를 보내지 않았습니다: 저널오류"), std::string::npos) << result.Out;
  module.Answers(true, FramedReply({{1, "0000"}, {169, "inquiry"}, {273, "000015000"}}));
  EXPECT_EQ(Run({"inquiry", "1"}).Status, cli::kAccepted);
  EXPECT_EQ(module.Requests.size(), 1u);
  EXPECT_EQ(Run({"reprint"}).Status, cli::kNotJournaled);
  // The folder made since (a window running all along): the journal opens at the
  // next payment, which goes out, and leaves no row in flight behind.
  std::filesystem::create_directories(dir.path() / "no-such-folder");
  module.Answers(true, testsupport::GoldenOperations()[0].reply);
  EXPECT_EQ(Run({"use", "1234567890123", "10000"}).Status, cli::kAccepted);
  ASSERT_TRUE(desk->journal());
  EXPECT_TRUE(desk->journal()->InStates({journal::PrintState::InFlight}).empty());
  EXPECT_EQ(desk->journal()->Last()->Printed, journal::PrintState::Printed);
}

// Bytes the journal can't read as a payment (nor as an inquiry, which moves nothing)
// are not sent: they might move money the journal would know nothing of.
TEST_F(VekTest, RequestTheJournalCannotReadIsNotSent) {
  journal::JournaledModule journaled(*desk, module);
  module.Answers(true, "answer");
  const auto refused = journaled.Call(std::string("\x02PAIR\x1C" "9000\x1C" "1004", 15));
  ASSERT_TRUE(refused);
  EXPECT_FALSE(refused->Result);
  EXPECT_EQ(refused->Reply, K("거래를 보내지 않았습니다: 저널이 읽을 수 없는 요청입니다."));
  EXPECT_TRUE(module.Requests.empty());
  const auto inquiry = journaled.Call(std::string("\x02PAIR\x1C" "9100\x1C" "1004", 15));
  ASSERT_TRUE(inquiry);
  EXPECT_TRUE(inquiry->Result);
  EXPECT_EQ(module.Requests.size(), 1u);
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

  // With the clock 400 days ahead (the rows 400 days behind it), a listing removes
  // nothing: neither the receipt owed nor the printed one.
  {
    auto journal = journal::Journal::Open(dir.dir() + "VEK_Journal.db");
    journal->Record({.At = "2000-01-01 09:00:00", .ApprovalNumber = "OWED"});
    journal->SetPrinted(journal->Record({.At = "2000-01-01 09:00:00", .ApprovalNumber = "OLD"}),
                        journal::PrintState::Printed);
  }
  EXPECT_EQ(WEXITSTATUS(std::system("./vek journal >/dev/null")), cli::kAccepted);
  {
    auto journal = journal::Journal::Open(dir.dir() + "VEK_Journal.db");
    EXPECT_TRUE(journal->ByApproval("OWED"));
    EXPECT_TRUE(journal->ByApproval("OLD"));
  }

  // A serial printer that isn't there: found before the payment, which isn't made.
  std::filesystem::remove(dir.path() / "scripted-request.bin");
  testsupport::WriteFile(dir.path() / "VEK_Demo.ini", testsupport::SettingsFile("7"));
  EXPECT_EQ(WEXITSTATUS(std::system("./vek use 1234567890123 10000 >/dev/null 2>err.txt")), cli::kReceiptNotPrinted);
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "err.txt"), "Invalid port number (COM7)\n");
  EXPECT_EQ(testsupport::ScriptedModuleRequest(dir.path()), "");

  // A serial printer that answers its state: out of paper, nothing reaches the
  // module; near its end, the payment prints with the warning on standard error.
  testsupport::PseudoTerminal printer;
  printer.LinkAs(dir.dir(), "COM3");
  testsupport::WriteFile(dir.path() / "VEK_Demo.ini", testsupport::SettingsFile("3"));
  const auto pay = [&](const std::string& status) {
    auto run = std::async(std::launch::async,
                          [] { return WEXITSTATUS(std::system("./vek use 1234567890123 10000 >out.txt 2>err.txt")); });
    EXPECT_EQ(printer.AnswerNext(receipt::kStatusRequest.size(), status).get(), receipt::kStatusRequest);
    return run.get();
  };
  EXPECT_EQ(pay("\x12\x12\x72"), cli::kReceiptNotPrinted);
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "err.txt"), "영수증 용지가 없습니다 (COM3). 용지를 넣고 다시 하십시오.\n");
  EXPECT_EQ(testsupport::ScriptedModuleRequest(dir.path()), "");
  EXPECT_EQ(printer.Read(1, std::chrono::milliseconds(100)), "");

  testsupport::ScriptModuleAnswer(dir.path(), 1, testsupport::GoldenOperations()[0].reply);
  EXPECT_EQ(pay("\x12\x12\x1E"), cli::kAccepted);
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "out.txt"), "승인되었습니다.\n");
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "err.txt"),
            "영수증 용지가 얼마 남지 않았습니다 (COM3). 용지를 준비하십시오.\n");
  EXPECT_NE(testsupport::ScriptedModuleRequest(dir.path()), "");
  const std::string golden = testsupport::GoldenBytes("receipt-voucher-use.serial");
  EXPECT_EQ(printer.Read(golden.size()), golden);
}
#endif
