#include "platform/Cp949.h"

#include <gtest/gtest.h>

using platform::Cp949ToUtf8;
using platform::Utf8ToCp949;

TEST(Cp949, RoundTripsKoreanAndAscii) {
  EXPECT_EQ(Utf8ToCp949("가맹점 A1"), "\xB0\xA1\xB8\xCD\xC1\xA1 A1");
  EXPECT_EQ(Cp949ToUtf8("\xB0\xA1\xB8\xCD\xC1\xA1 A1"), "가맹점 A1");
  // Syllables beyond KS X 1001 live in the extended range of code page 949.
  EXPECT_EQ(Cp949ToUtf8(Utf8ToCp949("똠방각하 햏")), "똠방각하 햏");
}

TEST(Cp949, MarksWhatCannotBeConvertedAndKeepsTheRest) {
  EXPECT_EQ(Utf8ToCp949("a😀b"), "a?b");
  EXPECT_EQ(Utf8ToCp949("a\xFF" "b"), "a?b");
  EXPECT_EQ(Utf8ToCp949("a\xEA\xB0"), "a?");  // cut off at the end
  // A stray lead byte does not swallow the line end that follows it.
  EXPECT_EQ(Cp949ToUtf8("a\xB0\nb"), "a\xEF\xBF\xBD\nb");
  EXPECT_EQ(Cp949ToUtf8("\xB0"), "\xEF\xBF\xBD");
}

TEST(Cp949, Utf8Validation) {
  EXPECT_TRUE(platform::IsValidUtf8("plain"));
  EXPECT_TRUE(platform::IsValidUtf8("가맹점"));
  EXPECT_FALSE(platform::IsValidUtf8(Utf8ToCp949("플레노르가맹점설정")));
  EXPECT_FALSE(platform::IsValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(platform::IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(platform::IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
}
