#include "platform/text/IntegerText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using platform::ParseIntegerText;

using ::testing::StrEq;
using ::testing::ThrowsMessage;

TEST(IntegerText, AcceptsDecimalWithSignAndLeadingBlanks) {
  EXPECT_EQ(ParseIntegerText("31"), 31);
  EXPECT_EQ(ParseIntegerText("   3"), 3);
  EXPECT_EQ(ParseIntegerText("-1"), -1);
  EXPECT_EQ(ParseIntegerText("+7"), 7);
  EXPECT_EQ(ParseIntegerText("000015000"), 15000);
  EXPECT_EQ(ParseIntegerText("0000000000000000000042"), 42);
}

TEST(IntegerText, DecimalRangeIsExactlyThirtyTwoBits) {
  EXPECT_EQ(ParseIntegerText("2147483647"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(ParseIntegerText("-2147483648"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ParseIntegerText("2147483648"), std::nullopt);
  EXPECT_EQ(ParseIntegerText("-2147483649"), std::nullopt);
  EXPECT_EQ(ParseIntegerText("99999999999999999999999999"), std::nullopt);
}

TEST(IntegerText, HexIsAThirtyTwoBitPatternAfterEachPrefix) {
  EXPECT_EQ(ParseIntegerText("0x1F"), 31);
  EXPECT_EQ(ParseIntegerText("0X1f"), 31);
  EXPECT_EQ(ParseIntegerText("$1F"), 31);
  EXPECT_EQ(ParseIntegerText("x3"), 3);
  EXPECT_EQ(ParseIntegerText("X3"), 3);
  EXPECT_EQ(ParseIntegerText("$FFFFFFFF"), -1);
  EXPECT_EQ(ParseIntegerText("$80000000"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ParseIntegerText(" $00000001"), 1);
}

TEST(IntegerText, RejectsEverythingElse) {
  for (const char* text : {"", " ", "3 ", "COM3", "-", "+", "$", "0x", "x", "$123456789", "$G", "1.5", "1,000",
                           "-$1", "- 1", "\t3", "3\n", "0x-1", "１"}) {
    EXPECT_EQ(ParseIntegerText(text), std::nullopt) << '"' << text << '"';
  }
}

TEST(IntegerText, StrToIntRaisesTheRunTimeConversionMessage) {
  EXPECT_EQ(platform::StrToInt("000015000"), 15000);
  EXPECT_THAT([&] { platform::StrToInt("00001500 "); },
              ThrowsMessage<platform::ConversionError>(StrEq("'00001500 ' is not a valid integer value")));
}
