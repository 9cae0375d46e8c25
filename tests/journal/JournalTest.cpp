// The journal file as the counter meets it: private, kept for its retention period,
// and a clear error, never a crash, when it is read-only, damaged or the disk is full.
#include "journal/Journal.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <ctime>
#include <filesystem>

#include "journal/LinesCodec.h"
#include "tests/support/TestSupport.h"

using journal::Journal;
using journal::JournalError;

namespace {

std::string DaysAgo(int days) {
  const std::time_t then = std::time(nullptr) - static_cast<std::time_t>(days) * 24 * 3600;
  std::tm local{};
  localtime_r(&then, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

journal::Entry Entry(const std::string& at, const std::string& approval) {
  return {.At = at,
          .Kind = receipt::ReceiptKind::CashCardApproval,
          .Number = "9000000000001",
          .Total = 12000,
          .ApprovalNumber = approval,
          .Request = std::string("\x02PAIR\x1C") + "9300",
          .Reply = std::string("\x02") + "0000\x03",
          .Lines = {"\x1B@", "", "line\nwith LF and \0 NUL", "\x1Bi\n"},
          .Framed = "framed"};
}

class JournalTest : public ::testing::Test {
 protected:
  std::string path() const { return dir.dir() + "journal.db"; }
  testsupport::TempDir dir;
};

}  // namespace

TEST_F(JournalTest, KeepsEveryByteAndIsPrivateToItsOwner) {
  auto journal = Journal::Open(path(), 90);
  const std::int64_t id = journal->Record(Entry(journal::LocalTimeNow(), "C1"));
  journal->SetPrinted(id, journal::PrintState::Failed);
  journal.reset();

  journal = Journal::Open(path(), 90);
  const auto last = journal->Last();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->Lines, Entry("", "").Lines);
  EXPECT_EQ(last->Request, Entry("", "").Request);
  EXPECT_EQ(last->Printed, journal::PrintState::Failed);
  EXPECT_EQ(journal->ByApproval("C1")->Id, id);
  EXPECT_FALSE(journal->ByApproval("C2"));
#ifndef _WIN32
  for (const char* file : {"journal.db", "journal.db-wal"}) {
    struct stat s {};
    ASSERT_EQ(stat((dir.path() / file).c_str(), &s), 0) << file;
    EXPECT_EQ(s.st_mode & 0777, 0600u) << file;
  }
#endif
  // A damaged row's lines read as none rather than as garbage.
  EXPECT_FALSE(journal::DecodeLines(std::string("\x05\0\0\0abc", 7)));
}

TEST_F(JournalTest, RowsOlderThanTheRetentionPeriodGoAtStartUp) {
  {
    auto journal = Journal::Open(path(), 90);
    journal->Record(Entry(DaysAgo(91), "OLD"));
    journal->Record(Entry(DaysAgo(89), "KEPT"));
    journal->Record(Entry(journal::LocalTimeNow(), "TODAY"));
  }
  auto journal = Journal::Open(path(), 90);
  EXPECT_FALSE(journal->ByApproval("OLD"));
  EXPECT_TRUE(journal->ByApproval("KEPT"));
  EXPECT_EQ(journal->Day(journal::LocalTimeNow().substr(0, 10)).size(), 1u);
  journal = Journal::Open(path(), 1);  // a shorter period set in the settings
  EXPECT_FALSE(journal->ByApproval("KEPT"));
  EXPECT_TRUE(journal->ByApproval("TODAY"));
}

TEST_F(JournalTest, DamagedFileIsAClearError) {
  testsupport::WriteFile(path(), std::string(4096, 'x'));
  try {
    Journal::Open(path(), 90);
    FAIL() << "a damaged journal opened";
  } catch (const JournalError& error) {
    EXPECT_NE(std::string(error.what()).find("not a database"), std::string::npos) << error.what();
  }
}

// The journal's file name may be Korean (the settings' 저널파일); the file SQLite opens
// is the one made for it (on Windows: the system's code page, given to SQLite as
// UTF-8), and an error names it as it is.
TEST_F(JournalTest, KoreanFileNameHoldsTheJournal) {
  const std::string file = dir.dir() + testsupport::K("가맹점저널") + ".db";
  Journal::Open(file, 90)->Record(Entry(journal::LocalTimeNow(), "C1"));
  EXPECT_TRUE(Journal::Open(file, 90)->ByApproval("C1"));

  const std::string missing = dir.dir() + testsupport::K("없는폴더") + "/journal.db";
  try {
    Journal::Open(missing, 90);
    FAIL() << "a journal opened in a missing folder";
  } catch (const JournalError& error) {
    EXPECT_NE(std::string(error.what()).find("(" + missing + ")"), std::string::npos) << error.what();
  }
}

#ifndef _WIN32
// Root writes any file, so the read-only case is tried as an ordinary user.
TEST_F(JournalTest, ReadOnlyFileIsAClearError) {
  { Journal::Open(path(), 90)->Record(Entry(journal::LocalTimeNow(), "C1")); }
  chmod(dir.path().c_str(), 0755);
  chmod(path().c_str(), 0444);
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && setresuid(65534, 65534, 65534) != 0) _exit(3);
    try {
      Journal::Open(path(), 90);
    } catch (const JournalError&) {
      _exit(0);
    }
    _exit(1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: opened for writing; 3: could not drop privileges";
}

TEST_F(JournalTest, FullDiskIsAClearErrorAndWhatWasCommittedStays) {
  auto journal = Journal::Open(path(), 90);
  journal->Record(Entry(journal::LocalTimeNow(), "BEFORE"));
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 64 * 1024;
  setrlimit(RLIMIT_FSIZE, &small);
  journal::Entry big = Entry(journal::LocalTimeNow(), "BIG");
  big.Framed = std::string(8 * 1024, 'x');
  bool refused = false;
  for (int i = 0; i < 100 && !refused; ++i) {
    try {
      journal->Record(big);
    } catch (const JournalError& error) {
      refused = true;
      EXPECT_NE(std::string(error.what()).find(testsupport::K("저널오류")), std::string::npos);
    }
  }
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_TRUE(refused);
  journal.reset();
  EXPECT_TRUE(Journal::Open(path(), 90)->ByApproval("BEFORE"));
}
#endif
