#include "platform/text/Cp949.h"

#include <gtest/gtest.h>

using platform::Cp949ToUtf8;
using platform::Utf8ToCp949;

TEST(Cp949, RoundTripsKoreanAndAscii) {
  EXPECT_EQ(Utf8ToCp949("가맹점 A1"), "\xB0\xA1\xB8\xCD\xC1\xA1 A1");
  EXPECT_EQ(Cp949ToUtf8("\xB0\xA1\xB8\xCD\xC1\xA1 A1"), "가맹점 A1");
  // Syllables beyond KS X 1001 live in the extended range of code page 949.
  EXPECT_EQ(Cp949ToUtf8(Utf8ToCp949("똠방각하 햏")), "똠방각하 햏");
  // The pairs the code page gained late: the euro, the registered sign and ㉾.
  EXPECT_EQ(Utf8ToCp949("€®㉾"), "\xA2\xE6\xA2\xE7\xA2\xE8");
  EXPECT_EQ(Cp949ToUtf8("\xA2\xE6\xA2\xE7\xA2\xE8"), "€®㉾");
}

TEST(Cp949, MarksWhatCannotBeConvertedAndKeepsTheRest) {
  EXPECT_EQ(Utf8ToCp949("a😀b"), "a?b");
  EXPECT_EQ(Utf8ToCp949("a\xFF" "b"), "a?b");
  EXPECT_EQ(Utf8ToCp949("a\xEA\xB0"), "a?");  // cut off at the end
  // A stray lead byte does not swallow the line end that follows it.
  EXPECT_EQ(Cp949ToUtf8("a\xB0\nb"), "a\xEF\xBF\xBD\nb");
  EXPECT_EQ(Cp949ToUtf8("\xB0"), "\xEF\xBF\xBD");
  // An unmapped pair is one mark, and the character after it stays.
  EXPECT_EQ(Cp949ToUtf8("\xAD\xA1" "A\xB0\xA1"), "\xEF\xBF\xBD" "A가");
  // A server's text ending in ㉾ once ended the terminal.
  EXPECT_EQ(Cp949ToUtf8("\xB0\xA1 \xA2\xE8"), "가 ㉾");
  EXPECT_EQ(Cp949ToUtf8("\xA2\xE8X"), "㉾X");
}

// Every pair of bytes, and every byte alone, in front of a marker: the result is
// well-formed UTF-8 that still ends in the marker, whatever the converter thinks
// of the bytes before it.
TEST(Cp949, EveryByteSequenceConvertsAndNothingAfterItIsLost) {
  for (int a = 0; a < 256; ++a) {
    for (int b = -1; b < 256; ++b) {
      std::string bytes(1, static_cast<char>(a));
      if (b >= 0) bytes += static_cast<char>(b);
      const std::string utf8 = Cp949ToUtf8(bytes + "|Z");
      ASSERT_TRUE(platform::IsValidUtf8(utf8)) << std::hex << a << ' ' << b;
      ASSERT_TRUE(utf8.ends_with("|Z")) << std::hex << a << ' ' << b;
      ASSERT_TRUE(Utf8ToCp949(bytes + "|Z").ends_with("|Z")) << std::hex << a << ' ' << b;
    }
  }
}

TEST(Cp949, Utf8Validation) {
  EXPECT_TRUE(platform::IsValidUtf8("plain"));
  EXPECT_TRUE(platform::IsValidUtf8("가맹점"));
  EXPECT_FALSE(platform::IsValidUtf8(Utf8ToCp949("플레노르가맹점설정")));
  EXPECT_FALSE(platform::IsValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(platform::IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(platform::IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
}
