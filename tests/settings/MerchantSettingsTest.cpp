#include "settings/MerchantSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/TestSupport.h"

using settings::LoadMerchantSettings;
using testsupport::K;

namespace {

const std::string kSection = "[ VEK플레노르가맹점설정 ]\r\n";

// Writes VEK_Demo.ini (CP949 unless told otherwise) and loads the settings from there.
settings::MerchantSettings LoadFrom(const testsupport::TempDir& dir, const std::string& utf8Body, bool asUtf8 = false) {
  const std::string text = kSection + utf8Body;
  testsupport::WriteFile(dir.path() / "VEK_Demo.ini", asUtf8 ? text : K(text));
  return LoadMerchantSettings(dir.dir());
}

}  // namespace

TEST(MerchantSettings, ReadsEveryKey) {
  testsupport::TempDir dir;
  const auto s = LoadFrom(dir,
                          "프린트포트=3\r\n가맹점명=플레노르 카페\r\n단말기ID=1004\r\n사업자번호=1234567890\r\n"
                          "전화번호=02-123-4567\r\n가맹점주소=서울시 강남구 테헤란로 1\r\n");
  EXPECT_EQ(s.PrinterPort, 3);
  EXPECT_EQ(s.MerchantName, K("플레노르 카페"));
  EXPECT_EQ(s.TerminalId, "1004");
  EXPECT_EQ(s.BusinessNumber, "1234567890");
  EXPECT_EQ(s.Telephone, "02-123-4567");
  EXPECT_EQ(s.MerchantAddress, K("서울시 강남구 테헤란로 1"));
  EXPECT_EQ(s.ProgramDirectory, dir.dir());
}

TEST(MerchantSettings, AbsentFileOrKeysGiveDefaults) {
  testsupport::TempDir dir;
  const auto none = LoadMerchantSettings(dir.dir());
  EXPECT_EQ(none.PrinterPort, 0);
  EXPECT_EQ(none.TerminalId, "");
  EXPECT_EQ(none.MerchantAddress, "");
  EXPECT_EQ(none.ProgramDirectory, dir.dir());

  const auto partial = LoadFrom(dir, "단말기ID=77\r\n");
  EXPECT_EQ(partial.TerminalId, "77");
  EXPECT_EQ(partial.PrinterPort, 0);
  EXPECT_EQ(partial.MerchantName, "");
#ifdef _WIN32
  // Never beside the program, under Program Files: in the common application-data folder.
  const char* common = std::getenv("ProgramData");
  ASSERT_NE(common, nullptr);
  EXPECT_EQ(partial.JournalFile, std::string(common) + "\\VEK Terminal\\VEK_Journal.db");
#else
  EXPECT_EQ(partial.JournalFile, dir.dir() + "VEK_Journal.db");  // the demo: beside the settings
#endif
  EXPECT_EQ(partial.JournalRetentionDays, 90);
  EXPECT_EQ(partial.OfficeDb, "");  // not shipped
  EXPECT_EQ(partial.ShipperFolder, "/var/lib/vek-ship/");
}

// The head office's connection string keeps its '=' and blanks; the shipper's folder
// gets its trailing separator.
TEST(MerchantSettings, HeadOfficeAndShipperFolder) {
  testsupport::TempDir dir;
  const auto s = LoadFrom(dir, "본사DB=host=office.example dbname=office user=counter_1004 sslrootcert=/etc/ca.pem\r\n"
                               "발송폴더=/srv/ship\r\n");
  EXPECT_EQ(s.OfficeDb, "host=office.example dbname=office user=counter_1004 sslrootcert=/etc/ca.pem");
  EXPECT_EQ(s.ShipperFolder, "/srv/ship/");
}

#ifndef _WIN32
// Installed, the program's folder is root's: a unit's state folder takes the journal
// the settings don't place, and a key still places it where it says.
TEST(MerchantSettings, JournalWithoutItsKeyGoesToTheUnitsStateFolder) {
  testsupport::TempDir dir;
  ::setenv("STATE_DIRECTORY", "/var/lib/vek-terminal:/var/lib/other", 1);
  const auto installed = LoadFrom(dir, "단말기ID=77\r\n");
  const auto named = LoadFrom(dir, "저널파일=day.db\r\n");
  ::setenv("STATE_DIRECTORY", ":/var/lib/other", 1);  // a first entry that names no folder
  const auto emptyFirst = LoadFrom(dir, "단말기ID=77\r\n");
  ::unsetenv("STATE_DIRECTORY");
  EXPECT_EQ(installed.JournalFile, "/var/lib/vek-terminal/VEK_Journal.db");
  EXPECT_EQ(named.JournalFile, dir.dir() + "day.db");
  EXPECT_EQ(emptyFirst.JournalFile, dir.dir() + "VEK_Journal.db");
}
#endif

TEST(MerchantSettings, PrinterPortTexts) {
  testsupport::TempDir dir;
  const std::pair<const char*, int> cases[] = {
      {"0x3", 3}, {"3", 3}, {" 3", 3}, {"COM3", 0}, {"\"3 \"", 0}, {"", 0}, {"-1", -1}, {"$1F", 31}};
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(LoadFrom(dir, std::string("프린트포트=") + text + "\r\n").PrinterPort, expected) << text;
}

TEST(MerchantSettings, LongValueKeepsItsFirst2047Bytes) {
  testsupport::TempDir dir;
  const std::string address(3000, 'A');
  EXPECT_EQ(LoadFrom(dir, "가맹점주소=" + address + "\r\n").MerchantAddress, address.substr(0, 2047));
}

TEST(MerchantSettings, Utf8FileReadsLikeItsCp949Twin) {
  testsupport::TempDir dir;
  const std::string body = "가맹점명=플레노르 카페\r\n프린트포트=2\r\n";
  const auto fromCp949 = LoadFrom(dir, body);
  const auto fromUtf8 = LoadFrom(dir, body, true);
  EXPECT_EQ(fromUtf8.MerchantName, K("플레노르 카페"));
  EXPECT_EQ(fromUtf8.MerchantName, fromCp949.MerchantName);
  EXPECT_EQ(fromUtf8.PrinterPort, 2);
}

TEST(MerchantSettings, FileInAnotherDirectoryIsNotRead) {
  testsupport::TempDir program;
  testsupport::TempDir elsewhere;
  testsupport::WriteFile(elsewhere.path() / "VEK_Demo.ini", K(kSection + "단말기ID=77\r\n"));
  testsupport::WorkingDirectory cwd(elsewhere.path());
  EXPECT_EQ(LoadMerchantSettings(program.dir()).TerminalId, "");
}
