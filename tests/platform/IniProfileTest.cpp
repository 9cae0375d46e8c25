#include "platform/text/IniProfile.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using platform::IniProfile;
using testsupport::K;

TEST(IniProfile, NamesCompareWithoutCaseAndBlanks) {
  const auto ini = IniProfile::Parse("[ Shop ]\r\n  Terminal Id  =  T-01  \r\nname=Kim\n");
  EXPECT_EQ(ini.ReadString("shop", "TERMINAL ID", "?"), "T-01");
  EXPECT_EQ(ini.ReadString(" SHOP ", " name ", "?"), "Kim");
  EXPECT_EQ(ini.ReadString("Shop", "absent", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("Other", "name", ""), "");
}

TEST(IniProfile, SectionMatchesWithOrWithoutInnerBlanks) {
  const std::string wanted = K(" VEK플레노르가맹점설정 ");
  for (const std::string& header : {K("[ VEK플레노르가맹점설정 ]"), K("[VEK플레노르가맹점설정]"),
                                    K("[vek플레노르가맹점설정 ]")}) {
    const auto ini = IniProfile::Parse(header + "\n" + K("단말기id") + "=1004\n");
    EXPECT_EQ(ini.ReadString(wanted, K("단말기ID"), ""), "1004") << header;
  }
}

TEST(IniProfile, TrailBytesOfKoreanNamesCompareExactly) {
  // 0xB0 0x41 and 0xB0 0x61 are two different syllables, not a case pair.
  const auto ini = IniProfile::Parse("[s]\n\xB0\x41=upper\n");
  EXPECT_EQ(ini.ReadString("s", "\xB0\x41", ""), "upper");
  EXPECT_EQ(ini.ReadString("s", "\xB0\x61", "none"), "none");
}

TEST(IniProfile, QuotesCommentsDuplicatesAndStrayLines) {
  const auto ini = IniProfile::Parse(
      "stray=before any section\n"
      "[s]\n"
      "; port=9\n"
      "port=\"3 \"\n"
      "port=4\n"
      "single='x'\n"
      "unbalanced=\"x'\n"
      "no equals sign\n"
      "empty=\n"
      "[s]\n"
      "later=second section of the same name\n");
  EXPECT_EQ(ini.ReadString("s", "port", ""), "3 ");
  EXPECT_EQ(ini.ReadString("s", "single", ""), "x");
  EXPECT_EQ(ini.ReadString("s", "unbalanced", ""), "\"x'");
  EXPECT_EQ(ini.ReadString("s", "empty", "dflt"), "");
  EXPECT_EQ(ini.ReadString("s", "stray", "none"), "none");
  EXPECT_EQ(ini.ReadString("s", "later", "none"), "none");
}

TEST(IniProfile, LongValuesAreCutAt2047Bytes) {
  const std::string value(3000, 'v');
  const auto ini = IniProfile::Parse("[s]\nk=" + value + "\n");
  EXPECT_EQ(ini.ReadString("s", "k", ""), value.substr(0, 2047));
}

TEST(IniProfile, AbsentFileIsEmpty) {
  EXPECT_EQ(IniProfile::Load("/nonexistent/VEK_Demo.ini").ReadString("s", "k", "d"), "d");
}

TEST(IniProfile, Utf8FilesAreReadAsCp949) {
  testsupport::TempDir dir;
  const std::string body = "[ 설정 ]\n이름=플레노르 카페\n";
  for (const std::string& contents : {body, "\xEF\xBB\xBF" + body}) {
    testsupport::WriteFile(dir.path() / "a.ini", contents);
    const auto ini = IniProfile::Load(dir.dir() + "a.ini");
    EXPECT_EQ(ini.ReadString(K("설정"), K("이름"), ""), K("플레노르 카페"));
  }
  testsupport::WriteFile(dir.path() / "b.ini", K(body));
  EXPECT_EQ(IniProfile::Load(dir.dir() + "b.ini").ReadString(K("설정"), K("이름"), ""), K("플레노르 카페"));
}
