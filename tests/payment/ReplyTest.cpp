#include "payment/Reply.h"

#include <gtest/gtest.h>

#include "payment/ReplyFields.h"
#include "tests/support/TestSupport.h"

using namespace payment;
using testsupport::K;
using testsupport::Payload;

TEST(CutPayload, BetweenStxAndTheFirstEtx) {
  EXPECT_EQ(CutPayload("\x02" "0000hello\x03"), "0000hello");
  EXPECT_EQ(CutPayload("\x02" "0000\x03" "tail\x03"), "0000");
  EXPECT_EQ(CutPayload("\x02" "0000 no end"), "");
  EXPECT_EQ(CutPayload(""), "");
  EXPECT_EQ(CutPayload("\x03"), "");
}

TEST(CutPayload, FollowsThePositionRuleWhenStxIsNotFirst) {
  // Without STX the payload starts at the first byte and stops one short of the ETX.
  EXPECT_EQ(CutPayload("0000ok\x03"), "0000o");
  // Bytes in front of the STX lengthen it past the ETX by as many bytes.
  EXPECT_EQ(CutPayload("xy\x02" "0000ok\x03"), "0000ok\x03");
  // An ETX in front of the STX: the length still comes from the ETX's position.
  EXPECT_EQ(CutPayload("ab\x03\x02" "0000"), "0");
  EXPECT_EQ(CutPayload("\x03\x02"), "");
}

TEST(ReplyFields, TrimmedAndRawFieldsByPosition) {
  const std::string payload = "0000 \t message \x01 ";
  EXPECT_EQ(ResultCode(payload), "0000");
  EXPECT_EQ(MessageText(payload), "message");
  EXPECT_EQ(RawReplyField(payload, 5, 4), " \t m");
  EXPECT_EQ(ReplyField("abc", 3, 10), "c");
  EXPECT_EQ(ReplyField("abc", 4, 10), "");
  EXPECT_EQ(ReplyField("abc", 0, 10), "");
  EXPECT_EQ(ResultCode("00"), "00");
}

TEST(ReplyFields, ResultCodeMustBeExactlyFourZeros) {
  EXPECT_TRUE(IsAccepted("0000"));
  EXPECT_TRUE(IsAccepted("0000rest"));
  for (const char* payload : {"0001", "00 0", "000", "", " 0000"}) EXPECT_FALSE(IsAccepted(payload)) << payload;
}

TEST(ReplyFields, InquiryTextAndRawAmount) {
  const auto reply = ReadVoucherInquiryReply(Payload({{169, "  balance 15,000  "}, {273, "000015000"}}, 281));
  EXPECT_EQ(reply.InquiryText, "balance 15,000");
  EXPECT_EQ(reply.AmountText, "000015000");
  EXPECT_EQ(ReadVoucherInquiryReply(Payload({{273, "00001500 "}}, 281)).AmountText, "00001500 ");
  EXPECT_EQ(ReadVoucherInquiryReply("0000short").AmountText, "");
}

// Every operation's dates, names and first lines reach the golden receipts through
// the operations (OperationsTest); here is what those receipts leave empty or hide.
TEST(ReplyFields, LaterMessageLinesAndTheCancellationNameOverlap) {
  const auto use = ReadVoucherUseReply(Payload({{302, "line two"}, {332, "line three"}, {362, "line four"}}));
  EXPECT_EQ(use.Messages.Line3, "line three");
  EXPECT_EQ(use.Messages.Line4, "line four");
  EXPECT_EQ(ReadCashCardCancelReply(Payload({{332, "m3"}})).Messages.Line3, "m3");
  EXPECT_EQ(ReadCashCardApprovalReply(Payload({{159, "CT03"}})).VoucherTypeCode, "");

  // In a cancellation the voucher name (177..276) overlaps the first message line.
  const auto cancel = ReadVoucherCancelReply(Payload({{173, "CT0 "}, {177, std::string(95, 'n') + "OVERLAP"}}));
  EXPECT_EQ(cancel.VoucherTypeCode, "CT0 ");
  EXPECT_EQ(cancel.VoucherName, std::string(95, 'n') + "OVERL");
  EXPECT_EQ(cancel.Messages.Line1, "OVERLAP");
}

TEST(ReplyFields, VoucherTypeNames) {
  EXPECT_EQ(VoucherTypeName("CT01"), K("선발금"));
  EXPECT_EQ(VoucherTypeName("CT03"), K("Mr.KUMO이용권"));
  EXPECT_EQ(VoucherTypeName("CT06"), K("현장할인쿠폰"));
  for (const char* code : {"CT07", "CT0", "", "ct01", "CT01 "}) EXPECT_EQ(VoucherTypeName(code), "") << code;
}
