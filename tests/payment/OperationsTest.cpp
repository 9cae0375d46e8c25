// Every outcome of the five commands, from the entry texts to what the screen must
// do, with the payment module in the test's hands.
#include "payment/Operations.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "payment/PaymentExchange.h"
#include "receipt/ReceiptFraming.h"
#include "tests/support/GoldenReceipts.h"
#include "tests/support/ScriptedPaymentModule.h"
#include "tests/support/TestSupport.h"

using namespace payment;
using testsupport::FramedReply;
using testsupport::K;
using enum EntryField;

namespace {

class OperationsTest : public ::testing::Test {
 protected:
  OperationOutcome Voucher(VoucherMode mode, const EntryTexts& entries) {
    return VoucherOperation(mode, entries, {settings, module, ","});
  }
  OperationOutcome CashCard(CashCardMode mode, const EntryTexts& entries) {
    return CashCardOperation(mode, entries, {settings, module, ","});
  }
  const std::string& Sent() const { return module.Requests.at(0); }
  // The receipt as the printer port route writes it, to compare with the golden files.
  static std::string OnPaper(const OperationOutcome& outcome) {
    std::string paper;
    for (const std::string& write : receipt::PrinterPortWrites(outcome.Receipt.value())) paper += write;
    return paper;
  }
  static void ExpectNothingAfterTheLabel(const OperationOutcome& outcome) {
    EXPECT_FALSE(outcome.MessageBox);
    EXPECT_FALSE(outcome.ConversionError);
    EXPECT_FALSE(outcome.AmountText);
    EXPECT_FALSE(outcome.Receipt);
    EXPECT_TRUE(outcome.Cleared.empty());
  }

  settings::MerchantSettings settings = testsupport::GoldenSettings();
  testsupport::ScriptedPaymentModule module;
};

}  // namespace

TEST_F(OperationsTest, AcceptedOperationsPrintTheirReceiptThenEmptyTheFieldsTheyRead) {
  const auto golden = testsupport::GoldenCases();
  const auto operations = testsupport::GoldenOperations();
  const std::vector<EntryField> useFields{Amount, Number};
  const std::vector<EntryField> cancelFields{Amount, Number, OriginalApproval, OriginalDate};
  for (std::size_t i = 0; i < golden.size(); ++i) {
    SCOPED_TRACE(golden[i].name);
    module.Answers(true, operations[i].reply);
    const EntryTexts& entries = operations[i].entries;
    const bool cancel = !entries.OriginalDate.empty();
    const auto outcome =
        i < 2 ? Voucher(cancel ? VoucherMode::Cancellation : VoucherMode::Use, entries)
              : CashCard(cancel ? CashCardMode::Cancellation : CashCardMode::Approval, entries);
    EXPECT_EQ(outcome.LabelText, K("승인되었습니다."));
    EXPECT_EQ(OnPaper(outcome), testsupport::GoldenBytes(std::string("receipt-") + golden[i].name + ".lpt"));
    EXPECT_EQ(outcome.Cleared, cancel ? cancelFields : useFields);
    EXPECT_TRUE(outcome.FocusNumberField);
    EXPECT_FALSE(outcome.MessageBox);
    EXPECT_EQ(module.Requests.back().substr(6, 4), (std::array{"9000", "9002", "9300", "9302"}[i]));
  }
  EXPECT_EQ(module.Requests[1].substr(44, 28), "ORIGINAL            20241205");  // the original transaction
}

TEST_F(OperationsTest, AcceptedInquiryGivesTheAmountWithoutLeadingZeros) {
  module.Answers(true, FramedReply({{1, "0000"}, {5, K("조회완료")}, {169, K("  잔액 15,000원  ")}, {273, "000015000"}}));
  const auto outcome = Voucher(VoucherMode::Inquiry, {.Number = "12345", .Amount = "typed"});
  EXPECT_EQ(Sent(), "\x02PAIR\x1C" "9100\x1C" "1004                12345        1234567890\x03");
  EXPECT_EQ(outcome.LabelText, K("잔액 15,000원"));  // the inquiry text, not the message
  EXPECT_EQ(outcome.AmountText, "15000");
  EXPECT_FALSE(outcome.Receipt);
  EXPECT_TRUE(outcome.Cleared.empty());
  EXPECT_TRUE(outcome.FocusNumberField);
}

TEST_F(OperationsTest, InquiryWithABadAmountRaisesAfterShowingTheInquiryText) {
  // Digits and a blank; a payload that ends before the amount.
  for (const auto& [reply, text] : {std::pair{FramedReply({{1, "0000"}, {169, "inquiry"}, {273, "00001500 "}}, 300),
                                              std::string("00001500 ")},
                                    std::pair{FramedReply({{1, "0000"}, {169, "inquiry"}}, 250), std::string()}}) {
    module.Answers(true, reply);
    const auto outcome = Voucher(VoucherMode::Inquiry, {});
    EXPECT_EQ(outcome.LabelText, "inquiry");
    ASSERT_TRUE(outcome.ConversionError);
    EXPECT_EQ(outcome.ConversionError->what(), "'" + text + "' is not a valid integer value");
    EXPECT_FALSE(outcome.AmountText);
    EXPECT_FALSE(outcome.FocusNumberField);
  }
}

TEST_F(OperationsTest, OutcomesOfTheExchangeItself) {
  const EntryTexts typed{.Number = "99999", .Amount = "5000"};
  module.Answers(true, FramedReply({{1, "0101"}, {5, K("잔액이 부족합니다.")}}, 104));
  auto refused = Voucher(VoucherMode::Use, typed);
  EXPECT_EQ(refused.LabelText, K("잔액이 부족합니다."));
  ExpectNothingAfterTheLabel(refused);
  EXPECT_FALSE(refused.FocusNumberField);

  module.Answers(false, K(" 서버 연결 실패 "));  // shown as it is, blanks and all
  auto failed = Voucher(VoucherMode::Inquiry, typed);
  EXPECT_EQ(failed.LabelText, K(" 서버 연결 실패 "));
  ExpectNothingAfterTheLabel(failed);
  EXPECT_TRUE(failed.FocusNumberField);

  module.Answer.reset();
  auto unavailable = CashCard(CashCardMode::Cancellation, typed);
  EXPECT_EQ(unavailable.MessageBox, K("신용모듈오류"));
  EXPECT_FALSE(unavailable.LabelText);
  EXPECT_FALSE(unavailable.FocusNumberField);
}

// Every value stays in its field: one that would move the fields after it, an
// amount the nine-digit field can't hold, a control byte (ESC p opens the cash
// drawer) is refused with the operator's message, and nothing is sent.
TEST_F(OperationsTest, ValuesThatWouldLeaveTheirFieldsAreRefusedBeforeAnyRequest) {
  struct Case {
    const char* what;
    std::function<OperationOutcome()> run;
    const char* message;
  };
  const Case refused[] = {
      {"voucher number typed twice", [&] { return Voucher(VoucherMode::Use, {.Number = "10000000000031", .Amount = "1"}); },
       "이용권NO는 13자리 이하로 입력하십시요."},
      {"a billion", [&] { return Voucher(VoucherMode::Use, {.Number = "1", .Amount = "1000000000"}); },
       "이용금액은 0원부터 999,999,999원까지 입력하십시요."},
      {"negative", [&] { return CashCard(CashCardMode::Approval, {.Number = "1", .Amount = "-1"}); },
       "금액은 0원부터 999,999,999원까지 입력하십시요."},
      {"negative as hex", [&] { return CashCard(CashCardMode::Approval, {.Number = "1", .Amount = "$FFFFFFFF"}); },
       "금액은 0원부터 999,999,999원까지 입력하십시요."},
      {"past 32 bits", [&] { return Voucher(VoucherMode::Use, {.Number = "1", .Amount = " 99999999999"}); },
       "이용금액은 0원부터 999,999,999원까지 입력하십시요."},
      {"past 32 bits in hex", [&] { return CashCard(CashCardMode::Approval, {.Number = "1", .Amount = "0x1FFFFFFFF"}); },
       "금액은 0원부터 999,999,999원까지 입력하십시요."},
      {"barcode too long", [&] { return CashCard(CashCardMode::Approval, {.Number = "90000000000011"}); },
       "바코드번호는 13자리 이하로 입력하십시요."},
      {"date too long",
       [&] { return Voucher(VoucherMode::Cancellation, {"1", "1", "202412051", "V1"}); },
       "원거래일은 8자리 이하로 입력하십시요."},
      {"approval too long",
       [&] { return CashCard(CashCardMode::Cancellation, {"1", "1", "20241205", std::string(21, 'C')}); },
       "원거래번호는 20자리 이하로 입력하십시요."},
      {"ESC p in a number", [&] { return Voucher(VoucherMode::Inquiry, {.Number = "1\x1bp\x00"}); },
       "이용권NO에 입력할 수 없는 문자가 있습니다."},
      {"DEL in an amount", [&] { return Voucher(VoucherMode::Use, {.Number = "1", .Amount = "100\x7f"}); },
       "이용금액에 입력할 수 없는 문자가 있습니다."},
      {"tab in a date", [&] { return CashCard(CashCardMode::Cancellation, {"1", "1", "2024\t", "C1"}); },
       "원거래일에 입력할 수 없는 문자가 있습니다."},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.what);
    const OperationOutcome outcome = c.run();
    EXPECT_EQ(outcome.Exchange, ExchangeOutcome::InputRefused);
    EXPECT_EQ(outcome.MessageBox, K(c.message));
    EXPECT_FALSE(outcome.LabelText);
  }
  EXPECT_TRUE(module.Requests.empty());

  // At their limits, and what each mode doesn't send, go out.
  module.Answers(true, FramedReply({{1, "0101"}}, 104));
  Voucher(VoucherMode::Use, {.Number = std::string(13, '1'), .Amount = "999999999", .OriginalDate = "\x1b"});
  Voucher(VoucherMode::Inquiry, {.Number = "1", .Amount = "-1"});
  CashCard(CashCardMode::Cancellation, {"", "not a number", "20241205", std::string(20, 'C')});
  ASSERT_EQ(module.Requests.size(), 3u);
  EXPECT_EQ(module.Requests[0].substr(44, 9), "999999999");
  EXPECT_EQ(module.Requests[2].substr(72, 9), "000000000");
}

// The terminal ID and the business number are in every request: one that would
// move the fields after it (or end the frame) refuses every command. The merchant's
// name, telephone and address are on the receipt only: a control byte in them (a
// printer command) refuses the commands that print, and an inquiry still goes out.
TEST_F(OperationsTest, SettingsThatWouldMoveTheFieldsOrReachThePrinterAreRefused) {
  using Set = std::function<void(settings::MerchantSettings&)>;
  const char* terminalLength = "단말기ID오류, 단말기ID는 20자리 이하로 ini에서 설정하세요.";
  const char* business = "사업자번호오류, 사업자번호는 10자리 숫자로 ini에서 설정하세요.";
  struct Case {
    const char* what;
    Set set;
    const char* message;
    bool inquiryRefused;
  };
  const auto number = [](std::string value) { return Set([value](auto& s) { s.BusinessNumber = value; }); };
  const Case refused[] = {
      {"terminal ID of 21", [](auto& s) { s.TerminalId = std::string(21, '1'); }, terminalLength, true},
      {"ETX in the terminal ID", [](auto& s) { s.TerminalId = "1004\x03"; },
       "단말기ID오류, 단말기ID의 제어문자를 ini에서 지우세요.", true},
      {"business number of 9", number("123456789"), business, true},
      {"business number of 11", number("12345678901"), business, true},
      {"business number with a hyphen", number("12345-6789"), business, true},
      {"business number in Hangul", number(K("일이삼사오")), business, true},  // ten bytes
      {"business number with FS", number("123456789\x1c"), business, true},
      {"business number empty", number(""), business, true},
      {"a thousand nines", number(std::string(1000, '9')), business, true},
      {"ESC @ GS V in the telephone", [](auto& s) { s.Telephone = "02\x1b@\x1dV1"; },  // would cut the paper
       "전화번호오류, 전화번호의 제어문자를 ini에서 지우세요.", false},
      {"CR in the name", [](auto& s) { s.MerchantName = "cafe\r"; }, "가맹점명오류, 가맹점명의 제어문자를 ini에서 지우세요.",
       false},
      {"ESC p in the address", [](auto& s) { s.MerchantAddress = "\x1bp\x00"; },
       "가맹점주소오류, 가맹점주소의 제어문자를 ini에서 지우세요.", false},
  };
  module.Answers(true, FramedReply({{1, "0101"}}, 104));
  std::size_t inquiriesSent = 0;
  for (const Case& c : refused) {
    SCOPED_TRACE(c.what);
    settings = testsupport::GoldenSettings();
    c.set(settings);
    for (const OperationOutcome& outcome :
         {Voucher(VoucherMode::Use, {"1", "100"}), Voucher(VoucherMode::Cancellation, {"1", "100", "20241205", "V1"}),
          CashCard(CashCardMode::Approval, {"1", "100"}),
          CashCard(CashCardMode::Cancellation, {"1", "100", "20241205", "C1"})}) {
      EXPECT_EQ(outcome.Exchange, ExchangeOutcome::InputRefused);
      EXPECT_EQ(outcome.MessageBox, K(c.message));
    }
    const OperationOutcome inquiry = Voucher(VoucherMode::Inquiry, {.Number = "1"});
    EXPECT_EQ(inquiry.MessageBox, c.inquiryRefused ? std::optional(K(c.message)) : std::nullopt);
    if (!c.inquiryRefused) ++inquiriesSent;
    EXPECT_EQ(module.Requests.size(), inquiriesSent);
  }
  settings = testsupport::GoldenSettings();
  settings.TerminalId = std::string(20, '1');
  Voucher(VoucherMode::Use, {"1", "100"});
  ASSERT_EQ(module.Requests.size(), inquiriesSent + 1);  // at its limit, it goes out
  EXPECT_EQ(module.Requests.back().substr(11, 20), std::string(20, '1'));
  EXPECT_EQ(module.Requests.back().substr(53, 14), "1234567890TG01");
}

// A payment that prints is made only when the printer can print; an inquiry prints
// nothing and doesn't ask.
TEST_F(OperationsTest, NoPaymentThatCannotPrint) {
  int asked = 0;
  receipt::PrinterReadiness printer{.NotReady = "File not found"};
  const OperationContext context{settings, module, ",", [&] {
                                   ++asked;
                                   return printer;
                                 }};
  module.Answers(true, testsupport::GoldenOperations()[0].reply);
  for (const OperationOutcome& outcome :
       {VoucherOperation(VoucherMode::Use, {"1", "100"}, context),
        VoucherOperation(VoucherMode::Cancellation, {"1", "100", "20241205", "V1"}, context),
        CashCardOperation(CashCardMode::Approval, {"1", "100"}, context),
        CashCardOperation(CashCardMode::Cancellation, {"1", "100", "20241205", "C1"}, context)}) {
    EXPECT_EQ(outcome.Exchange, ExchangeOutcome::PrinterNotReady);
    EXPECT_EQ(outcome.PrintError, "File not found");
    EXPECT_FALSE(outcome.LabelText);
    EXPECT_FALSE(outcome.Receipt);
  }
  EXPECT_TRUE(module.Requests.empty());
  VoucherOperation(VoucherMode::Inquiry, {"1"}, context);
  EXPECT_EQ(asked, 4);
  EXPECT_FALSE(VoucherOperation(VoucherMode::Use, {"1", "100"}, context).PrinterWarning);  // refused: no warning
  printer = {};
  const OperationOutcome printing = VoucherOperation(VoucherMode::Use, {"1", "100"}, context);
  EXPECT_TRUE(printing.Receipt);
  EXPECT_FALSE(printing.PrinterWarning);
  EXPECT_EQ(module.Requests.size(), 2u);

  // A roll near its end: the payment goes on and the warning comes with its outcome,
  // accepted or refused by the service.
  printer = {.Warning = "near end"};
  const OperationOutcome warned = CashCardOperation(CashCardMode::Approval, {"1", "100"}, context);
  EXPECT_EQ(warned.Exchange, ExchangeOutcome::Accepted);
  EXPECT_TRUE(warned.Receipt);
  EXPECT_EQ(warned.PrinterWarning, "near end");
  module.Answers(true, FramedReply({{1, "0201"}, {5, K("카드 정보 없음")}}, 104));
  const OperationOutcome refused = CashCardOperation(CashCardMode::Approval, {"1", "100"}, context);
  EXPECT_EQ(refused.Exchange, ExchangeOutcome::Refused);
  EXPECT_EQ(refused.PrinterWarning, "near end");
  EXPECT_EQ(module.Requests.size(), 4u);
}

TEST_F(OperationsTest, RefusedCashCardOperationsKeepTheFields) {
  module.Answers(true, FramedReply({{1, "0201"}, {5, K("카드 정보 없음")}}, 104));
  for (const CashCardMode mode : {CashCardMode::Approval, CashCardMode::Cancellation}) {
    const auto outcome = CashCard(mode, {.Number = "1", .Amount = "10000"});
    EXPECT_EQ(outcome.LabelText, K("카드 정보 없음"));
    ExpectNothingAfterTheLabel(outcome);
    EXPECT_FALSE(outcome.FocusNumberField);
  }
}
