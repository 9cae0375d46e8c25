// Every outcome of the five commands, from the entry texts to what the screen must
// do, with the payment module in the test's hands.
#include "payment/Operations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

TEST_F(OperationsTest, AcceptedUsePrintsItsReceiptAndEmptiesAmountThenNumber) {
  module.Answers(true, FramedReply({{1, "0000"},
                                    {5, K("  사용되었습니다.  ")},
                                    {125, "A0000123"},
                                    {145, "20241205143015"},
                                    {159, "CT03"},
                                    {163, K("로드 이용권 1만원")},
                                    {272, K("이용해 주셔서 감사합니다.")},
                                    {302, K("잔액 : 5,000원")}}));
  const auto outcome = Voucher(VoucherMode::Use, {.Number = "1234567890123", .Amount = "10000", .OriginalDate = "x"});
  EXPECT_EQ(Sent().size(), 95u);
  EXPECT_EQ(outcome.LabelText, K("사용되었습니다."));
  EXPECT_EQ(OnPaper(outcome), testsupport::GoldenBytes("receipt-voucher-use.lpt"));
  EXPECT_EQ(outcome.Cleared, (std::vector{Amount, Number}));
  EXPECT_TRUE(outcome.FocusNumberField);
  EXPECT_FALSE(outcome.MessageBox);
}

TEST_F(OperationsTest, AcceptedCancellationEmptiesAllFourFieldsInOrder) {
  module.Answers(true, FramedReply({{1, "0000"},
                                    {125, "A0000124"},
                                    {159, "20241206090000"},
                                    {173, "CT01"},
                                    {177, K("로드 이용권 1만원")},
                                    // The name's field runs to 276: the first line starts after it.
                                    {272, "     " + K("이용해 주셔서 감사합니다.")},
                                    {302, K("잔액 : 5,000원")}}));
  const auto outcome = Voucher(VoucherMode::Cancellation, {.Number = "1234567890123",
                                                           .Amount = "10000",
                                                           .OriginalDate = "20241205",
                                                           .OriginalApproval = "A0000123"});
  EXPECT_EQ(Sent().substr(44, 28), "A0000123            20241205");
  EXPECT_EQ(OnPaper(outcome), testsupport::GoldenBytes("receipt-voucher-cancel.lpt"));
  EXPECT_EQ(outcome.Cleared, (std::vector{Amount, Number, OriginalApproval, OriginalDate}));
  EXPECT_TRUE(outcome.FocusNumberField);
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

  module.Answers(true, "\x02" "0000 no end");  // no ETX: an empty payload, refused
  auto unframed = CashCard(CashCardMode::Approval, typed);
  EXPECT_EQ(unframed.LabelText, "");
  ExpectNothingAfterTheLabel(unframed);

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

TEST_F(OperationsTest, AmountThatIsNotANumberGoesOutAsZero) {
  module.Answers(true, FramedReply({{1, "0101"}}));
  Voucher(VoucherMode::Use, {.Number = "1", .Amount = "10,000"});
  EXPECT_EQ(Sent().substr(44, 9), "000000000");
  EXPECT_EQ(Sent().substr(57 + 10, 27), std::string(27, '0'));
}

TEST_F(OperationsTest, CashCardApprovalWithEmptyFieldsGoesOutAndPrints) {
  module.Answers(true, FramedReply({{1, "0000"}, {5, K("승인")}, {125, "C0000001"}, {145, "20241205150000"},
                                    {159, "20990101000000"}}));
  const auto outcome = CashCard(CashCardMode::Approval, {});
  EXPECT_EQ(Sent(), "\x02PAIR\x1C" "9300\x1C" "1004                " + std::string(13, ' ') +
                        "0000000001234567890TG01000000000000000000000000000\x03");
  EXPECT_EQ(outcome.LabelText, K("승인"));
  EXPECT_NE(OnPaper(outcome).find("2024/12/05 15:00:00"), std::string::npos);
  EXPECT_EQ(outcome.Cleared, (std::vector{Amount, Number}));
  EXPECT_TRUE(outcome.FocusNumberField);
}

TEST_F(OperationsTest, CashCardCancellationTakesItsDateFrom159AndTheTypedOriginalDate) {
  module.Answers(true, FramedReply({{1, "0000"},
                                    {125, "C0000002"},
                                    {145, "20990101000000"},
                                    {159, "20241206100000"},
                                    {272, K("큐비캐쉬 잔액 : 200,000원")}}));
  const auto outcome = CashCard(CashCardMode::Cancellation, {.Number = "9876543210123",
                                                             .Amount = "50000",
                                                             .OriginalDate = "20241205",
                                                             .OriginalApproval = "C0000001"});
  EXPECT_EQ(Sent().substr(0, 11), "\x02PAIR\x1C" "9302\x1C");
  EXPECT_EQ(OnPaper(outcome), testsupport::GoldenBytes("receipt-cashcard-cancel.lpt"));
  EXPECT_EQ(outcome.Cleared, (std::vector{Amount, Number, OriginalApproval, OriginalDate}));
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
