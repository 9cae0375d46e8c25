#include "receipt/ReceiptText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using namespace receipt;

TEST(CenterText, NormalAndBoldBlanks) {
  EXPECT_EQ(CenterText(std::string(15, 't'), TextStyle::ftNormal), std::string(13, ' ') + std::string(15, 't'));
  EXPECT_EQ(CenterText(std::string(29, 't'), TextStyle::ftNormal).find('t'), 6u);
  EXPECT_EQ(CenterText(std::string(41, 't'), TextStyle::ftNormal), std::string(41, 't'));
  EXPECT_EQ(CenterText(std::string(42, 't'), TextStyle::ftNormal), std::string(42, 't'));
  EXPECT_EQ(CenterText(std::string(50, 't'), TextStyle::ftNormal), std::string(50, 't'));
  EXPECT_EQ(CenterText(std::string(15, 't'), TextStyle::ftBold).find('t'), 3u);
  EXPECT_EQ(CenterText(std::string(20, 't'), TextStyle::ftBold), std::string(20, 't'));
  EXPECT_EQ(CenterText("", TextStyle::ftNormal), std::string(21, ' '));
}

TEST(FillMask, LaysDigitsIntoTheMask) {
  EXPECT_EQ(FillMask("20240131235959", "@@@@/@@/@@ @@:@@:@@"), "2024/01/31 23:59:59");
  EXPECT_EQ(FillMask("20240131", "@@@@/@@/@@"), "2024/01/31");
  EXPECT_EQ(FillMask("2024013199", "@@@@/@@/@@"), "2024/01/31");
  EXPECT_EQ(FillMask("", "@@@@/@@/@@"), "");
  EXPECT_EQ(FillMask("abcdefgh", "@@@@/@@/@@"), "abcd/ef/gh");
}

TEST(FillMask, ShortValueKeepsTheMaskLength) {
  EXPECT_EQ(FillMask("2024", "@@@@/@@/@@"), "2024/  /  ");
  EXPECT_EQ(FillMask("2", "@@@@/@@/@@").size(), 10u);
}

TEST(FormatAmount, ThousandsSeparatorInATwentyFiveByteField) {
  EXPECT_EQ(FormatAmount(10000, ","), std::string(19, ' ') + "10,000");
  EXPECT_EQ(FormatAmount(0, ","), std::string(24, ' ') + "0");
  EXPECT_EQ(FormatAmount(999, ","), std::string(22, ' ') + "999");
  EXPECT_EQ(FormatAmount(-1234, ","), std::string(19, ' ') + "-1,234");
  EXPECT_EQ(FormatAmount(1234567, "."), std::string(16, ' ') + "1.234.567");
  EXPECT_EQ(FormatAmount(1234567, ""), std::string(18, ' ') + "1234567");
}

TEST(FormatAmount, ExtremesNeitherOverflowNorCut) {
  EXPECT_EQ(FormatAmount(std::numeric_limits<std::int32_t>::min(), ","), std::string(11, ' ') + "-2,147,483,648");
  EXPECT_EQ(FormatAmount(std::numeric_limits<std::int32_t>::max(), ","), std::string(12, ' ') + "2,147,483,647");
  // A wide separator widens the text past the field instead of being cut.
  EXPECT_EQ(FormatAmount(std::numeric_limits<std::int32_t>::min(), "<sep>"), "-2<sep>147<sep>483<sep>648");
}
