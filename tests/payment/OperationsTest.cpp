// Every outcome of the five commands, from the entry texts to what the screen must
// do, with the payment module in the test's hands.
#include "payment/Operations.h"

#include <gtest/gtest.h>

#include <array>

#include "GoldenReceipts.h"
#include "ScriptedPaymentModule.h"
#include "TestSupport.h"
#include "payment/PaymentExchange.h"
#include "receipt/ReceiptFraming.h"

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

TEST_F(OperationsTest, OverlongRequestIsAMessageAndNeverReachesTheModule) {
  module.Answers(true, FramedReply({{1, "0000"}}));
  const auto outcome = Voucher(VoucherMode::Inquiry, {.Number = std::string(2000, '9')});
  EXPECT_TRUE(module.Requests.empty());
  EXPECT_EQ(outcome.MessageBox, RequestTooLongMessage());
  EXPECT_FALSE(outcome.LabelText);
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
