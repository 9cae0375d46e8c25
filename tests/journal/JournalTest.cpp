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
#include <optional>
#include <thread>

#include "journal/DayClosing.h"
#include "journal/JournalChanges.h"
#include "journal/LinesCodec.h"
#include "journal/ReceiptDesk.h"
#include "journal/ShippedMark.h"
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

// The rows of the N days most recently traded on stay, and of other days only the
// printed and the settled ones go: a receipt owed or an outcome unknown stays
// whatever its age. Days with operations, ranked by when they were traded on: a
// clock set ahead, for one operation or for many, is one day more, never the
// months it jumped, and once it is put back the day traded on is kept.
TEST_F(JournalTest, RetentionKeepsTheDaysLastTradedOnWhateverTheClock) {
  auto journal = Journal::Open(path());
  const auto printed = [&](const std::string& at, const std::string& approval) {
    journal->SetPrinted(journal->Record(Entry(at, approval)), journal::PrintState::Printed);
    journal->RemoveExpired(90);  // as after every operation
  };
  const auto kept = [&] {
    std::string approvals;
    for (const auto& e : journal->InStates({journal::PrintState::Pending, journal::PrintState::Printed,
                                            journal::PrintState::Failed, journal::PrintState::InFlight,
                                            journal::PrintState::SettledNotCharged}))
      approvals += (e.ApprovalNumber.empty() ? "?" : e.ApprovalNumber) + " ";
    return approvals;
  };
  printed(DaysAgo(400), "OLD");
  journal->Record(Entry(DaysAgo(400), "OWED"));
  journal->SetPrinted(journal->Record(Entry(DaysAgo(400), "FAILED")), journal::PrintState::Failed);
  journal->RecordInFlight(Entry(DaysAgo(400), ""));
  const std::int64_t settled = journal->RecordInFlight(Entry(DaysAgo(400), "SETTLED"));
  ASSERT_EQ(journal->Settle(settled, journal::Finding::NotCharged, DaysAgo(400)), journal::SettleResult::Settled);
  printed(DaysAgo(89), "D89");
  const std::string today = journal::LocalTimeNow();
  for (const char* sale : {"T1", "T2", "T3"}) printed(today, sale);
  printed(DaysAgo(-120), "F1");  // the clock 120 days ahead, for two operations
  printed(DaysAgo(-120), "F2");
  EXPECT_EQ(kept(), "OLD OWED FAILED ? SETTLED D89 T1 T2 T3 F1 F2 ");
  EXPECT_EQ(journal->Day(today.substr(0, 10)).size(), 3u);
  EXPECT_EQ(journal->ByApproval("T2")->ApprovalNumber, "T2");

  journal->RemoveExpired(3);  // the three days last traded on: +120, today, 89 days ago
  EXPECT_EQ(kept(), "OWED FAILED ? D89 T1 T2 T3 F1 F2 ");
  printed(today, "T4");  // the clock put back: today is the day traded on again
  journal->RemoveExpired(1);
  EXPECT_EQ(kept(), "OWED FAILED ? T1 T2 T3 T4 ");
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

// An outcome the terminal never learnt is settled by the operator once, with the
// time, and the service's answer, should it still come, outranks the finding. The
// approval numbers compare as the server compares them: "A1" is " A1 ".
TEST_F(JournalTest, UnknownOutcomeIsSettledOnceAndApprovalsCompareTrimmed) {
  auto journal = Journal::Open(path());
  const std::int64_t accepted = journal->Record(Entry(journal::LocalTimeNow(), "A1"));
  const std::int64_t unknown = journal->RecordInFlight(Entry(journal::LocalTimeNow(), ""));
  const std::int64_t late = journal->RecordInFlight(Entry(journal::LocalTimeNow(), ""));
  journal->SetPrinted(unknown, journal::PrintState::Unknown);
  EXPECT_EQ(journal->Settle(unknown, journal::Finding::Charged, "2026-12-09 10:00:00"), journal::SettleResult::Settled);
  EXPECT_EQ(journal->Settle(unknown, journal::Finding::NotCharged, "2026-12-09 10:01:00"),
            journal::SettleResult::AlreadySettled);
  EXPECT_EQ(journal->Settle(accepted, journal::Finding::NotCharged, "x"), journal::SettleResult::NotUnknown);
  EXPECT_EQ(journal->Settle(9999, journal::Finding::Charged, "x"), journal::SettleResult::NoSuchRow);
  const auto settled = Journal::Open(path())->ById(unknown);
  ASSERT_TRUE(settled);
  EXPECT_EQ(settled->Printed, journal::PrintState::SettledCharged);
  EXPECT_EQ(settled->SettledAt, "2026-12-09 10:00:00");
  EXPECT_TRUE(journal->InStates({journal::PrintState::InFlight, journal::PrintState::Unknown}).size() == 1);
  EXPECT_NE(journal->Last()->Id, unknown);  // no accepted operation, no receipt

  const std::int64_t refused = journal->RecordInFlight(Entry(journal::LocalTimeNow(), ""));
  ASSERT_EQ(journal->Settle(refused, journal::Finding::Charged, "x"), journal::SettleResult::Settled);
  journal->Remove(refused);  // the service's refusal came after all
  EXPECT_FALSE(journal->ById(refused));
  ASSERT_EQ(journal->Settle(late, journal::Finding::NotCharged, "x"), journal::SettleResult::Settled);
  journal->Complete(late, Entry(journal::LocalTimeNow(), "A2"));
  EXPECT_EQ(journal->ById(late)->Printed, journal::PrintState::Pending);
  EXPECT_EQ(journal->ById(late)->SettledAt, "");

  EXPECT_EQ(journal->ByApproval(" A1")->Id, accepted);
  EXPECT_EQ(journal->ByApproval("A1  ")->Id, accepted);
  EXPECT_FALSE(journal->ByApproval("A"));
  journal::Entry cancellation = Entry(journal::LocalTimeNow(), "X1");
  cancellation.Kind = receipt::ReceiptKind::CashCardCancellation;
  cancellation.OriginalApproval = " A1";  // as typed, with the blank the server trims
  journal->Record(cancellation);
  EXPECT_TRUE(journal->CancelledSince(*journal->ById(accepted)));
  EXPECT_FALSE(journal->CancelledSince(*journal->ById(late)));

  EXPECT_EQ(journal->Closings("2026-12-09"), 0);
  journal->RecordClosing("2026-12-09", "2026-12-09 22:00:00");
  journal->RecordClosing("2026-12-09", "2026-12-09 22:05:00");
  EXPECT_EQ(journal->Closings("2026-12-09"), 2);
  EXPECT_EQ(journal->Closings("2026-12-08"), 0);
}

// Never through a link (its target would be made private, or made), only a regular
// file of this user's, and a look at the journal never makes one.
TEST_F(JournalTest, OpensOnlyARegularFileOfItsOwnAndALookMakesNone) {
  EXPECT_THROW(Journal::Open(path(), journal::OpenMode::ExistingOnly), JournalError);
  EXPECT_FALSE(std::filesystem::exists(path()));
  std::filesystem::create_directory(path());
  EXPECT_THROW(Journal::Open(path()), JournalError);
  std::filesystem::remove(path());
#ifndef _WIN32

  const std::string other = dir.dir() + "other";
  testsupport::WriteFile(other, "someone's file");
  chmod(other.c_str(), 0644);
  std::filesystem::create_symlink(other, path());
  for (const auto mode : {journal::OpenMode::ExistingOnly, journal::OpenMode::CreateIfMissing}) {
    try {
      Journal::Open(path(), mode);
      ADD_FAILURE() << "opened through a link";
    } catch (const JournalError& error) {
      EXPECT_NE(std::string(error.what()).find(testsupport::K("링크입니다")), std::string::npos) << error.what();
    }
  }
  struct stat s {};
  ASSERT_EQ(stat(other.c_str(), &s), 0);
  EXPECT_EQ(s.st_mode & 0777, 0644u);

  std::filesystem::remove(path());
  std::filesystem::create_symlink(dir.dir() + "target.db", path());  // dangling
  EXPECT_THROW(Journal::Open(path()), JournalError);
  EXPECT_FALSE(std::filesystem::exists(dir.dir() + "target.db"));

  std::filesystem::remove(path());
  ASSERT_EQ(mkfifo(path().c_str(), 0600), 0);  // opened without waiting for a writer
  EXPECT_THROW(Journal::Open(path()), JournalError);
#endif
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
  // A shipper finds nothing in a journal no terminal has given an identity yet.
  EXPECT_THROW(journal::ChangeReader::Open(path()), JournalError);
  auto journal = Journal::Open(path());
  const auto sale = journal->ByApproval("C01");
  ASSERT_TRUE(sale);
  EXPECT_FALSE(journal->CancelledSince(*sale));
  // Its rows numbered as changes, from where its new changes go on.
  const auto reader = journal::ChangeReader::Open(path());
  EXPECT_EQ(reader->Identity(), journal->Identity());
  ASSERT_EQ(reader->Since(0, 10).size(), 1u);
  EXPECT_EQ(reader->Since(0, 10)[0].Version, 1);
  journal::Entry cancellation = Entry(journal::LocalTimeNow(), "C02");
  cancellation.Kind = receipt::ReceiptKind::CashCardCancellation;
  cancellation.OriginalApproval = "C01";
  journal->Record(cancellation);
  EXPECT_TRUE(journal->CancelledSince(*sale));
  EXPECT_FALSE(journal->CancelledSince(*journal->ByApproval("C02")));
  EXPECT_EQ(reader->Since(1, 10).at(0).Row.ApprovalNumber, "C02");
  EXPECT_EQ(reader->Since(0, 10).back().Version, 2);
}

// Every change of a row gives it the journal's next change number, so a shipper
// asking for the changes since its mark finds each row once, in its latest state,
// the withdrawn ones too; the journal's identity stays with the file.
TEST_F(JournalTest, ChangesSinceAMarkHoldEveryRowsLatestState) {
  auto journal = Journal::Open(path());
  const std::string identity = journal->Identity();
  EXPECT_EQ(identity.size(), 36u);
  EXPECT_EQ(identity[14], '4');
  EXPECT_EQ(Journal::Open(path())->Identity(), identity);
  EXPECT_NE(Journal::Open(dir.dir() + "other.db")->Identity(), identity);

  const auto reader = journal::ChangeReader::Open(path());
  const std::int64_t printed = journal->RecordInFlight(Entry("2026-11-30 23:59:00", ""));  // 1
  journal->Complete(printed, Entry("2026-11-30 23:59:00", "P1"));                        // 2
  const std::int64_t refused = journal->RecordInFlight(Entry("2026-12-01 00:00:01", ""));  // 3
  const std::int64_t unknown = journal->RecordInFlight(Entry("2026-12-01 00:00:02", ""));  // 4
  const auto all = reader->Since(0, 100);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].Row.ApprovalNumber, "P1");
  EXPECT_EQ(all[0].Version, 2);
  EXPECT_EQ(all[2].Row.Printed, journal::PrintState::InFlight);

  const std::int64_t mark = all.back().Version;
  journal->SetPrinted(printed, journal::PrintState::Printed);  // 5
  journal->Remove(refused);                                    // 6
  journal->SetPrinted(unknown, journal::PrintState::Unknown);  // 7
  ASSERT_EQ(journal->Settle(unknown, journal::Finding::Charged, "2026-12-01 00:10:00"),
            journal::SettleResult::Settled);                 // 8
  journal->SetPrinted(printed, journal::PrintState::Failed);  // refused by its state: no change
  const auto since = reader->Since(mark, 100);
  ASSERT_EQ(since.size(), 3u);
  EXPECT_EQ(since[0].Row.Id, printed);
  EXPECT_EQ(since[0].Row.Printed, journal::PrintState::Printed);
  EXPECT_EQ(since[1].Row.Id, refused);
  EXPECT_TRUE(since[1].Withdrawn);
  EXPECT_EQ(since[1].Row.At, "2026-12-01 00:00:01");
  EXPECT_EQ(since[1].Row.Number, "9000000000001");
  EXPECT_EQ(since[2].Row.Id, unknown);
  EXPECT_EQ(since[2].Row.Printed, journal::PrintState::SettledCharged);
  EXPECT_EQ(since[2].Row.SettledAt, "2026-12-01 00:10:00");
  EXPECT_EQ(since[2].Version, 8);
  // In batches: the limit cuts by change number.
  EXPECT_EQ(reader->Since(mark, 2).back().Version, 6);
  EXPECT_TRUE(reader->Since(8, 100).empty());

  // The last row withdrawn, its number is not given again (nor after a reopening):
  // the office holds both.
  const std::int64_t last = journal->RecordInFlight(Entry("2026-12-01 00:20:00", ""));
  journal->Remove(last);
  const std::int64_t next = Journal::Open(path())->RecordInFlight(Entry("2026-12-01 00:21:00", ""));
  EXPECT_EQ(next, last + 1);
  const auto both = reader->Since(8, 100);
  ASSERT_EQ(both.size(), 2u);
  EXPECT_TRUE(both[0].Withdrawn && both[0].Row.Id == last);
  EXPECT_EQ(both[1].Row.Id, next);
}

// Where the settings name a head office, retention takes nothing the office hasn't
// acknowledged by the shipper's mark (a row changed since, a withdrawal; no mark:
// nothing), and the shipper's user reads the journal by its group.
TEST_F(JournalTest, RetentionKeepsWhatTheHeadOfficeLacks) {
  settings::MerchantSettings settings;
  settings.JournalFile = path();
  settings.JournalRetentionDays = 1;
  settings.OfficeDb = "host=office";
  settings.ShipperFolder = dir.dir();
  std::optional<journal::ReceiptDesk> desk(std::in_place, settings);
  Journal* journal = desk->journal();
  ASSERT_TRUE(journal);
  const std::int64_t old = journal->Record(Entry(DaysAgo(400), "OLD"));  // 1
  journal->SetPrinted(old, journal::PrintState::Printed);                 // 2
  journal->Remove(journal->RecordInFlight(Entry(DaysAgo(400), "")));      // 3, 4
  journal->SetPrinted(journal->Record(Entry(journal::LocalTimeNow(), "NOW")), journal::PrintState::Printed);
  auto reader = journal::ChangeReader::Open(path());
  const auto changes = [&] { return reader->Since(0, 100).size(); };
  const std::string mark = journal::ShippedMarkFile(dir.dir(), journal->Identity());
  EXPECT_FALSE(desk->RemoveExpired());
  EXPECT_EQ(changes(), 3u);
  ASSERT_TRUE(journal::WriteShippedMark(mark, 99));  // ahead of the journal: another copy's
  EXPECT_FALSE(desk->RemoveExpired());
  EXPECT_EQ(changes(), 3u);
  ASSERT_TRUE(journal::WriteShippedMark(mark, 2));  // the old row acknowledged, the withdrawal not
  EXPECT_FALSE(desk->RemoveExpired());
  EXPECT_FALSE(journal->ByApproval("OLD"));
  EXPECT_EQ(changes(), 2u);
  ASSERT_TRUE(journal::WriteShippedMark(mark, 4));
  EXPECT_FALSE(desk->RemoveExpired());
  EXPECT_EQ(changes(), 1u);

  auto unshipped = Journal::Open(dir.dir() + "unshipped.db");
  unshipped->Remove(unshipped->RecordInFlight(Entry(DaysAgo(1), "")));
  unshipped->RemoveExpired(90);
  EXPECT_TRUE(journal::ChangeReader::Open(dir.dir() + "unshipped.db")->Since(0, 10).empty());
#ifndef _WIN32
  // Its log files too, and they stay once the terminal has closed it.
  reader.reset();
  desk.reset();
  for (const char* file : {"journal.db", "journal.db-wal", "journal.db-shm"}) {
    struct stat s {};
    ASSERT_EQ(stat((dir.path() / file).c_str(), &s), 0) << file;
    EXPECT_EQ(s.st_mode & 0777, 0640u) << file;
  }
#endif
}

// The shipper's mark: whole or not there; the terminal reads a damaged one as none.
TEST_F(JournalTest, ShippedMarkIsReplacedWhole) {
  const std::string file = journal::ShippedMarkFile(dir.dir(), "id");
  EXPECT_FALSE(journal::ReadShippedMark(file));
  ASSERT_TRUE(journal::WriteShippedMark(file, 41));
  ASSERT_TRUE(journal::WriteShippedMark(file, 9000000000));
  EXPECT_EQ(journal::ReadShippedMark(file), 9000000000);
  testsupport::WriteFile(file, "12x\n");
  EXPECT_FALSE(journal::ReadShippedMark(file));
#ifndef _WIN32
  // A link planted where the next mark is written: replaced, its target untouched.
  const std::string target = dir.dir() + "target";
  testsupport::WriteFile(target, "kept\n");
  ASSERT_EQ(symlink(target.c_str(), (file + ".next").c_str()), 0);
  ASSERT_TRUE(journal::WriteShippedMark(file, 7));
  EXPECT_EQ(journal::ReadShippedMark(file), 7);
  EXPECT_EQ(testsupport::ReadFile(target), "kept\n");
#endif
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
  desk.journal();  // as the window's start opens it
  const auto opened = desk.OpenError();
  const auto cleared = desk.RemoveExpired();
  release.join();
  EXPECT_FALSE(opened) << *opened;
  EXPECT_FALSE(cleared) << *cleared;
  ASSERT_TRUE(desk.journal());

  settings.JournalFile = dir.dir() + "later/journal.db";
  journal::ReceiptDesk later(settings);
  ASSERT_FALSE(later.journal());
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
  // The file stays its user's (another user's file is refused before its mode).
  if (geteuid() == 0) {
    ASSERT_EQ(chown(path().c_str(), 65534, 65534), 0);
  }
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
