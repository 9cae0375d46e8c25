// The journal file as the counter meets it: private, kept for its retention period,
// and a clear error, never a crash, when it is read-only, damaged or the disk is full;
// an operation in it before its request goes out; another process's long write
// waited for.
#include "journal/Journal.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <thread>

#include "journal/DayClosing.h"
#include "journal/LinesCodec.h"
#include "journal/ReceiptDesk.h"
#include "tests/support/TestSupport.h"

using journal::Journal;
using journal::JournalError;

namespace {

// Negative: days ahead.
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
  auto journal = Journal::Open(path());
  const std::int64_t id = journal->Record(Entry(journal::LocalTimeNow(), "C1"));
  journal->SetPrinted(id, journal::PrintState::Failed);
  journal.reset();

  journal = Journal::Open(path());
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
#ifndef _WIN32
  // A journal an older version left open to others, its log files with it (they
  // hold the requests and replies too), is made private at open.
  for (const char* file : {"journal.db", "journal.db-wal", "journal.db-shm"})
    ASSERT_EQ(chmod((dir.path() / file).c_str(), 0644), 0) << file;
  auto again = Journal::Open(path());
  for (const char* file : {"journal.db", "journal.db-wal", "journal.db-shm"}) {
    struct stat s {};
    ASSERT_EQ(stat((dir.path() / file).c_str(), &s), 0) << file;
    EXPECT_EQ(s.st_mode & 0777, 0600u) << file;
  }
#endif
  // A damaged row's lines read as none rather than as garbage.
  EXPECT_FALSE(journal::DecodeLines(std::string("\x05\0\0\0abc", 7)));
}

// Only printed rows go, measured from the newest row: a receipt owed or an outcome
// unknown stays whatever its age, and a clock behind the newest row (or set ahead
// before any row was written at its time) removes nothing.
TEST_F(JournalTest, RetentionRemovesOnlyPrintedRowsAndNoClockEmptiesTheJournal) {
  auto journal = Journal::Open(path());
  const auto printed = [&](const std::string& at, const std::string& approval) {
    journal->SetPrinted(journal->Record(Entry(at, approval)), journal::PrintState::Printed);
  };
  printed(DaysAgo(400), "OLD");
  journal->Record(Entry(DaysAgo(400), "OWED"));
  journal->SetPrinted(journal->Record(Entry(DaysAgo(400), "FAILED")), journal::PrintState::Failed);
  journal->RecordInFlight(Entry(DaysAgo(400), ""));
  printed(DaysAgo(89), "KEPT");
  printed(journal::LocalTimeNow(), "TODAY");
  const auto kept = [&] {
    std::string approvals;
    for (const auto& e : journal->InStates({journal::PrintState::Pending, journal::PrintState::Printed,
                                            journal::PrintState::Failed, journal::PrintState::InFlight}))
      approvals += (e.ApprovalNumber.empty() ? "?" : e.ApprovalNumber) + " ";
    return approvals;
  };
  journal->RemoveExpired(90);
  EXPECT_EQ(kept(), "OWED FAILED ? KEPT TODAY ");
  // Only opening it (a listing, a reprint's look-up) removes nothing.
  journal = Journal::Open(path());
  printed(DaysAgo(-400), "AHEAD");  // written while the clock was 400 days ahead
  journal->RemoveExpired(1);
  EXPECT_EQ(kept(), "OWED FAILED ? KEPT TODAY AHEAD ");

  // The clock stays ahead after one operation (here: the rows are from before a
  // jump to now): that row is the newest by far, and nothing goes for it. A
  // terminal idle for that long clears at its next operation.
  journal.reset();  // closed first: Windows removes no open file
  std::filesystem::remove(path());
  journal = Journal::Open(path());
  printed(DaysAgo(500), "A");
  printed(DaysAgo(400), "B");
  printed(journal::LocalTimeNow(), "JUMP");
  journal->RemoveExpired(90);
  EXPECT_EQ(kept(), "A B JUMP ");
  printed(journal::LocalTimeNow(), "NEXT");
  journal->RemoveExpired(90);
  EXPECT_EQ(kept(), "JUMP NEXT ");
}

// The request is in the journal before the module has it; the answer completes the
// row (accepted) or takes it away (refused), and until then it is no accepted
// operation: not the last, not a receipt owed. A window started meanwhile marks the
// rows unknown; the answer still settles them.
TEST_F(JournalTest, OperationInFlightIsKeptApartUntilItsAnswer) {
  auto journal = Journal::Open(path());
  journal->SetPrinted(journal->Record(Entry(journal::LocalTimeNow(), "C1")), journal::PrintState::Printed);
  const std::int64_t sent = journal->RecordInFlight(Entry(journal::LocalTimeNow(), ""));
  const std::int64_t refused = journal->RecordInFlight(Entry(journal::LocalTimeNow(), ""));
  const std::int64_t sentToldUnknown = journal->RecordInFlight(Entry(journal::LocalTimeNow(), ""));
  const std::int64_t refusedToldUnknown = journal->RecordInFlight(Entry(journal::LocalTimeNow(), ""));
  auto window = Journal::Open(path());  // as the next process finds them
  EXPECT_EQ(window->Last()->ApprovalNumber, "C1");
  EXPECT_EQ(window->InStates({journal::PrintState::InFlight}).size(), 4u);
  EXPECT_TRUE(window->InStates({journal::PrintState::Pending}).empty());
  window->SetPrinted(sentToldUnknown, journal::PrintState::Unknown);
  window->SetPrinted(refusedToldUnknown, journal::PrintState::Unknown);
  journal->Remove(refused);
  journal->Remove(refusedToldUnknown);
  journal->Complete(sent, Entry(journal::LocalTimeNow(), "C2"));
  journal->Complete(sentToldUnknown, Entry(journal::LocalTimeNow(), "C3"));
  EXPECT_TRUE(journal->InStates({journal::PrintState::InFlight, journal::PrintState::Unknown}).empty());
  EXPECT_EQ(journal->Last()->Id, sentToldUnknown);
  EXPECT_EQ(journal->ByApproval("C2")->Printed, journal::PrintState::Pending);
  EXPECT_EQ(journal->ByApproval("C3")->Printed, journal::PrintState::Pending);
  // An accepted operation is never taken away nor written over.
  journal->Remove(sent);
  EXPECT_THROW(journal->Complete(sent, Entry(journal::LocalTimeNow(), "C4")), JournalError);
  EXPECT_TRUE(journal->ByApproval("C2"));
  EXPECT_FALSE(journal->ByApproval("C4"));
  // What another process settled meanwhile stands: a row its answer completed is not
  // marked unknown by a window that listed it in flight, and a receipt printed since
  // is not set back to failed by an operator who declined the window's offer.
  window->SetPrinted(sent, journal::PrintState::Unknown);
  EXPECT_EQ(journal->ByApproval("C2")->Printed, journal::PrintState::Pending);
  journal->SetPrinted(sent, journal::PrintState::Printed);
  window->SetPrinted(sent, journal::PrintState::Failed);
  EXPECT_EQ(journal->ByApproval("C2")->Printed, journal::PrintState::Printed);
}

// A journal written before cancellations named the approval they cancelled opens,
// keeps its rows, and learns of the cancellations made from now on.
TEST_F(JournalTest, OlderJournalOpensWithItsRows) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TABLE operations (id INTEGER PRIMARY KEY, at TEXT NOT NULL, kind INTEGER NOT NULL,"
                         " number BLOB NOT NULL, total INTEGER NOT NULL, net INTEGER NOT NULL, tax INTEGER NOT NULL,"
                         " approval BLOB NOT NULL, request BLOB NOT NULL, reply BLOB NOT NULL, lines BLOB NOT NULL,"
                         " printer_port INTEGER NOT NULL, framed BLOB NOT NULL, printed INTEGER NOT NULL DEFAULT 0);"
                         "INSERT INTO operations VALUES (1, '2024-12-06 09:00:00', 11, x'31', 12000, 10909, 1091,"
                         " x'433031', x'', x'', x'', 0, x'', 1)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  auto journal = Journal::Open(path());
  const auto sale = journal->ByApproval("C01");
  ASSERT_TRUE(sale);
  EXPECT_FALSE(journal->CancelledSince(*sale));
  journal::Entry cancellation = Entry(journal::LocalTimeNow(), "C02");
  cancellation.Kind = receipt::ReceiptKind::CashCardCancellation;
  cancellation.OriginalApproval = "C01";
  journal->Record(cancellation);
  EXPECT_TRUE(journal->CancelledSince(*sale));
  EXPECT_FALSE(journal->CancelledSince(*journal->ByApproval("C02")));
}

// Two processes opening an older journal at once (the window and a vek started
// with it): the second waits for the first's change and finds the column there.
TEST_F(JournalTest, OlderJournalOpenedTwiceAtOnceIsBroughtUpToDateOnce) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "PRAGMA journal_mode=WAL;"
                         "CREATE TABLE operations (id INTEGER PRIMARY KEY, at TEXT NOT NULL, kind INTEGER NOT NULL,"
                         " number BLOB NOT NULL, total INTEGER NOT NULL, net INTEGER NOT NULL, tax INTEGER NOT NULL,"
                         " approval BLOB NOT NULL, request BLOB NOT NULL, reply BLOB NOT NULL, lines BLOB NOT NULL,"
                         " printer_port INTEGER NOT NULL, framed BLOB NOT NULL, printed INTEGER NOT NULL DEFAULT 0);"
                         "BEGIN IMMEDIATE",  // both find the column missing before either may add it
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  std::string errors;
  std::mutex errorsMutex;
  const auto open = [&] {
    try {
      Journal::Open(path());
    } catch (const JournalError& error) {
      const std::lock_guard lock(errorsMutex);
      errors += std::string(error.what()) + "\n";
    }
  };
  std::thread first(open), second(open);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  first.join();
  second.join();
  EXPECT_EQ(errors, "");
  Journal::Open(path())->Record(Entry(journal::LocalTimeNow(), "C1"));
}

// Another process (vek clearing many old rows) holds the journal longer than a
// moment: the window's start waits for it and keeps its journal, and a journal that
// could not be opened at all is opened at the next operation.
TEST_F(JournalTest, BusyJournalIsWaitedForAndAFailedOpenIsTriedAgain) {
  Journal::Open(path());
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; DELETE FROM operations", nullptr, nullptr, nullptr), SQLITE_OK);
  std::thread release([other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
  });
  settings::MerchantSettings settings;
  settings.JournalFile = path();
  journal::ReceiptDesk desk(settings);
  const auto opened = desk.OpenError();
  const auto cleared = desk.RemoveExpired();
  release.join();
  EXPECT_FALSE(opened) << *opened;
  EXPECT_FALSE(cleared) << *cleared;
  ASSERT_TRUE(desk.journal());

  settings.JournalFile = dir.dir() + "later/journal.db";
  journal::ReceiptDesk later(settings);
  ASSERT_TRUE(later.OpenError());
  std::filesystem::create_directories(dir.path() / "later");
  const journal::PrintedReceipt printed =
      later.RecordAndPrint({.ApprovalNumber = "C1"}, {"line"}, 0, [](const receipt::ReceiptLines&) {});
  EXPECT_NE(printed.Id, 0);
  EXPECT_FALSE(printed.JournalError);
  EXPECT_FALSE(later.OpenError());
}

TEST_F(JournalTest, DamagedFileIsAClearError) {
  testsupport::WriteFile(path(), std::string(4096, 'x'));
  try {
    Journal::Open(path());
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
  Journal::Open(file)->Record(Entry(journal::LocalTimeNow(), "C1"));
  EXPECT_TRUE(Journal::Open(file)->ByApproval("C1"));

  const std::string missing = dir.dir() + testsupport::K("없는폴더") + "/journal.db";
  try {
    Journal::Open(missing);
    FAIL() << "a journal opened in a missing folder";
  } catch (const JournalError& error) {
    EXPECT_NE(std::string(error.what()).find("(" + missing + ")"), std::string::npos) << error.what();
  }
}

#ifndef _WIN32
// Root writes any file, so the read-only case is tried as an ordinary user.
TEST_F(JournalTest, ReadOnlyFileIsAClearError) {
  { Journal::Open(path())->Record(Entry(journal::LocalTimeNow(), "C1")); }
  chmod(dir.path().c_str(), 0755);
  chmod(path().c_str(), 0444);
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && setresuid(65534, 65534, 65534) != 0) _exit(3);
    try {
      Journal::Open(path());
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
  auto journal = Journal::Open(path());
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
  EXPECT_TRUE(Journal::Open(path())->ByApproval("BEFORE"));
}
#endif

// The closing's figures from a day's rows: only what the service accepted counts
// in the kinds and the net; a receipt owed still counts as accepted; what the
// operator settled is told apart with their finding; an outcome unknown counts
// nowhere else.
TEST(DayClosing, FiguresOfADay) {
  using journal::PrintState;
  using receipt::ReceiptKind;
  const auto row = [](ReceiptKind kind, std::int32_t total, PrintState state, std::string approval = {}) {
    return journal::Entry{.At = "2024-12-05 10:00:00", .Kind = kind, .Total = total, .ApprovalNumber = approval,
                          .Printed = state};
  };
  std::vector<journal::Entry> day{
      row(ReceiptKind::VoucherUse, 10000, PrintState::Printed, "A1"),
      row(ReceiptKind::VoucherUse, 5000, PrintState::Failed, "A2"),
      row(ReceiptKind::VoucherCancellation, 10000, PrintState::Printed, "A3"),
      row(ReceiptKind::CashCardApproval, 2000000000, PrintState::Pending, "C1"),
      row(ReceiptKind::CashCardApproval, 2000000000, PrintState::Printed, "C2"),
      row(ReceiptKind::CashCardCancellation, 3000, PrintState::Printed, "C3"),
      row(ReceiptKind::VoucherUse, 7000, PrintState::InFlight),
      row(ReceiptKind::CashCardApproval, 8000, PrintState::Unknown),
      row(ReceiptKind::VoucherUse, 4000, PrintState::SettledCharged),
      row(ReceiptKind::CashCardApproval, 9000, PrintState::SettledNotCharged),
      row(ReceiptKind::VoucherUse, 1000, PrintState::Printed, ""),  // no approval number: not first or last
  };
  day[8].At = "2024-12-05 11:02:03";
  day[8].SettledAt = "2024-12-05 11:20:45";
  const receipt::ClosingFigures f = journal::DayClosing(day);
  EXPECT_EQ(f.Accepted[0].Count, 3);
  EXPECT_EQ(f.Accepted[0].Amount, 16000);
  EXPECT_EQ(f.Accepted[1].Count, 1);
  EXPECT_EQ(f.Accepted[2].Count, 2);
  EXPECT_EQ(f.Accepted[2].Amount, 4000000000LL);  // past 32 bits
  EXPECT_EQ(f.Accepted[3].Amount, 3000);
  EXPECT_EQ(f.Net, 16000 - 10000 + 4000000000LL - 3000);
  EXPECT_EQ(f.Owed.Count, 2);
  EXPECT_EQ(f.Owed.Amount, 2000005000LL);
  EXPECT_EQ(f.Unknown.Count, 2);
  EXPECT_EQ(f.Unknown.Amount, 15000);
  EXPECT_EQ(f.SettledCharged.Count, 1);
  EXPECT_EQ(f.SettledCharged.Amount, 4000);
  EXPECT_EQ(f.SettledNotCharged.Amount, 9000);
  ASSERT_EQ(f.Settled.size(), 2u);
  EXPECT_EQ(f.Settled[0].At, "2024-12-05 11:02:03");
  EXPECT_EQ(f.Settled[0].SettledAt, "2024-12-05 11:20:45");
  EXPECT_TRUE(f.Settled[0].Charged);
  EXPECT_FALSE(f.Settled[1].Charged);
  EXPECT_EQ(f.Settled[1].Kind, ReceiptKind::CashCardApproval);
  EXPECT_EQ(f.FirstApproval, "A1");
  EXPECT_EQ(f.LastApproval, "C3");

  const receipt::ClosingFigures none = journal::DayClosing({});
  EXPECT_EQ(none.Net, 0);
  EXPECT_EQ(none.FirstApproval, "");
  EXPECT_TRUE(none.Settled.empty());
}
