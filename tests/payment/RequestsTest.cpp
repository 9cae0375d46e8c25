#include "payment/Requests.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "payment/Amounts.h"
#include "payment/MessageFields.h"

using namespace payment;

namespace {
const TerminalIdentity kTerminal{"T01", "1234567890"};
const std::string kHead9000 = "\x02PAIR\x1C" "9000\x1C";
}  // namespace

TEST(Amounts, SplitsTaxAtOneEleventhRounded) {
  const std::pair<std::int32_t, std::pair<std::int32_t, std::int32_t>> cases[] = {
      {10000, {909, 9091}}, {1000, {91, 909}}, {5, {0, 5}}, {6, {1, 5}},
      {11, {1, 10}},        {0, {0, 0}},       {-6, {-1, -5}}, {-10000, {-909, -9091}}};
  for (const auto& [total, taxNet] : cases) {
    const Amounts a = SplitAmount(total);
    EXPECT_EQ(a.Total, total);
    EXPECT_EQ(a.Tax, taxNet.first) << total;
    EXPECT_EQ(a.Net, taxNet.second) << total;
  }
}

TEST(Amounts, WholeThirtyTwoBitRangeWithoutOverflow) {
  const Amounts max = SplitAmount(std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(max.Tax, 195225786);
  EXPECT_EQ(max.Net, 2147483647 - 195225786);
  const Amounts min = SplitAmount(std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(min.Tax, -195225786);
  EXPECT_EQ(min.Net, -2147483648LL + 195225786);
}

TEST(Amounts, TextThatIsNotANumberCountsAsZero) {
  EXPECT_EQ(AmountsFromText("10000").Net, 9091);
  EXPECT_EQ(AmountsFromText("$2710").Total, 10000);
  EXPECT_EQ(AmountsFromText("").Total, 0);
  EXPECT_EQ(AmountsFromText("10,000").Tax, 0);
  EXPECT_EQ(AmountsFromText("99999999999").Total, 0);
}

TEST(MessageFields, NumberFieldHasAtLeastNineDigitsAndIsNeverCut) {
  const std::pair<std::int32_t, const char*> cases[] = {{0, "000000000"},
                                                        {10000, "000010000"},
                                                        {1234567890, "1234567890"},
                                                        {-5, "-000000005"},
                                                        {std::numeric_limits<std::int32_t>::min(), "-2147483648"}};
  for (const auto& [value, text] : cases) {
    std::string out;
    AppendNumberField(out, value);
    EXPECT_EQ(out, text);
  }
}

TEST(Requests, VoucherUseIs95BytesWithATenByteBusinessNumber) {
  const std::string request = BuildVoucherUseRequest(kTerminal, "12345", SplitAmount(10000));
  EXPECT_EQ(request, kHead9000 +
                         "T01                 "
                         "12345        "
                         "000010000"
                         "1234567890"
                         "TG01"
                         "000009091"
                         "000000909"
                         "000000000"
                         "\x03");
  EXPECT_EQ(request.size(), 95u);
}

TEST(Requests, InquiryCarriesNoAmountsAndIs55Bytes) {
  const std::string request = BuildVoucherInquiryRequest(kTerminal, "12345");
  EXPECT_EQ(request, "\x02PAIR\x1C" "9100\x1C" "T01                 12345        1234567890\x03");
  EXPECT_EQ(request.size(), 55u);
}

TEST(Requests, VoucherCancellationIs123Bytes) {
  const std::string request =
      BuildVoucherCancelRequest(kTerminal, "12345", {"A0000123", "20241205"}, SplitAmount(10000));
  EXPECT_EQ(request, "\x02PAIR\x1C" "9002\x1C"
                     "T01                 "
                     "12345        "
                     "A0000123            "
                     "20241205"
                     "000010000"
                     "1234567890TG01"
                     "000009091000000909000000000\x03");
  EXPECT_EQ(request.size(), 123u);
}

TEST(Requests, CashCardApprovalWithEveryFieldEmpty) {
  const TerminalIdentity empty{"", "1234567890"};
  EXPECT_EQ(BuildCashCardApprovalRequest(empty, "", AmountsFromText("")),
            "\x02PAIR\x1C" "9300\x1C" + std::string(20, ' ') + std::string(13, ' ') +
                "000000000" "1234567890TG01" "000000000000000000000000000\x03");
}

TEST(Requests, CashCardApprovalCarriesTheVoucherUseAmounts) {
  const std::string request = BuildCashCardApprovalRequest(kTerminal, "9876543210123", SplitAmount(10000));
  EXPECT_EQ(request, "\x02PAIR\x1C" "9300\x1C" "T01                 9876543210123"
                     "0000100001234567890TG01000009091000000909000000000\x03");
}

TEST(Requests, CashCardCancellationIs113PlusN) {
  const std::string request =
      BuildCashCardCancelRequest(kTerminal, "9876543210123", {"C77", ""}, SplitAmount(-6));
  EXPECT_EQ(request, "\x02PAIR\x1C" "9302\x1C" "T01                 9876543210123"
                     "C77                 " "        "
                     "-0000000061234567890TG01-000000005-000000001000000000\x03");
}

TEST(Requests, OverlongTextFieldsAreSentWholeAndShiftTheRest) {
  const std::string terminalId(25, 'T');
  const TerminalIdentity longTerminal{terminalId, "1234567890"};
  const std::string request = BuildVoucherUseRequest(longTerminal, "12345", SplitAmount(10000));
  EXPECT_EQ(request.substr(11, 25), terminalId);
  EXPECT_EQ(request.substr(36, 13), "12345        ");  // position 37 instead of 32
  EXPECT_EQ(request.substr(49, 9), "000010000");
  EXPECT_EQ(request.size(), 100u);

  const std::string number(15, '9');
  const std::string inquiry = BuildVoucherInquiryRequest(kTerminal, number);
  EXPECT_EQ(inquiry.substr(31, 15), number);
  EXPECT_EQ(inquiry.substr(46), "1234567890\x03");
}
