// The journal in SQLite: write-ahead log, every commit synced before it returns.
#include <sqlite3.h>

#include <limits>

#include "journal/Journal.h"
#include "journal/LinesCodec.h"
#include "SqliteStatement.h"
#include "platform/system/PrivateFile.h"

namespace journal {
namespace {
using sqlite::CloseDatabase;
using sqlite::Fail;
using sqlite::Statement;

constexpr const char* kColumns =
    "id, at, kind, number, total, net, tax, approval, request, reply, lines, printer_port, framed, printed, original,"
    " settled_at";

// Blanks around an approval number, as the server trims them (the bytes up to 0x20
// are refused by the entry checks but for the blank).
// trim() makes text of the bytes; cast back, they compare with the bound bytes.
constexpr const char* kTrimmedApproval = "CAST(trim(approval, ' ') AS BLOB)";

// How long a write waits for another process's (a long clean-up, a listing):
// longer than any of ours takes, short of an operator giving up on the terminal.
constexpr int kBusyMilliseconds = 15000;

class SqliteJournal final : public Journal {
 public:
  SqliteJournal(const std::string& path, OpenMode mode, Readers readers) {
    // Created private (its owner only on POSIX; on Windows the counter's operators),
    // an existing file and its log files made so; the log files SQLite adds take its
    // mode (on Windows, the folder's list). Never through a link.
    if (const auto error =
            platform::CreatePrivateFile(path, mode == OpenMode::CreateIfMissing, readers == Readers::OwnerAndGroup))
      Fail("파일을 열 수 없습니다", *error, path);
    const std::optional<std::string> name = platform::Utf8FileName(path);
    if (!name) Fail("파일을 열 수 없습니다", "the file name has no Unicode form", path);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(name->c_str(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
    db_.reset(raw);
    if (rc != SQLITE_OK) Fail("파일을 열 수 없습니다", raw ? sqlite3_errmsg(raw) : "out of memory", path);
    if (sqlite3_db_readonly(db_.get(), "main") == 1) Fail("파일에 쓸 수 없습니다", "read-only", path);
    sqlite3_busy_timeout(db_.get(), kBusyMilliseconds);
    Execute("PRAGMA journal_mode=WAL", "파일을 열 수 없습니다");
    Execute("PRAGMA synchronous=FULL", "파일을 열 수 없습니다");
    // A reader that may not write the folder (the shipper) needs the log files
    // there: they stay when the last connection closes.
    if (readers == Readers::OwnerAndGroup) {
      int persist = 1;
      sqlite3_file_control(db_.get(), "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    }
    Execute("CREATE TABLE IF NOT EXISTS operations ("
            " id INTEGER PRIMARY KEY, at TEXT NOT NULL, kind INTEGER NOT NULL, number BLOB NOT NULL,"
            " total INTEGER NOT NULL, net INTEGER NOT NULL, tax INTEGER NOT NULL, approval BLOB NOT NULL,"
            " request BLOB NOT NULL, reply BLOB NOT NULL, lines BLOB NOT NULL, printer_port INTEGER NOT NULL,"
            " framed BLOB NOT NULL, printed INTEGER NOT NULL DEFAULT 0, original BLOB NOT NULL DEFAULT x'')",
            "파일을 열 수 없습니다");
    // Columns a journal of an older version lacks: what cancellations cancelled,
    // when the operator settled an unknown outcome.
    AddColumn("original", "ALTER TABLE operations ADD COLUMN original BLOB NOT NULL DEFAULT x''");
    AddColumn("settled_at", "ALTER TABLE operations ADD COLUMN settled_at TEXT NOT NULL DEFAULT ''");
    Execute("CREATE INDEX IF NOT EXISTS operations_at ON operations(at)", "파일을 열 수 없습니다");
    Execute("CREATE TABLE IF NOT EXISTS closings (date TEXT NOT NULL, at TEXT NOT NULL)", "파일을 열 수 없습니다");
    AddIdentity();
  }

  std::string Identity() override {
    Statement q(db_.get(), "SELECT journal_id FROM identity", "저널을 읽을 수 없습니다");
    return q.Step() ? q.Bytes(0) : std::string();
  }

  // The days kept are the retentionDays days most recently traded on, ranked by their
  // last row's place in the journal rather than by their dates: a clock set ahead
  // (or back) moves no day ahead of the one being traded on now.
  void RemoveExpired(int retentionDays, std::optional<std::int64_t> shippedUpTo) override {
    // Nothing the head office lacks goes; without shipping every change is "shipped".
    std::int64_t shipped = shippedUpTo.value_or(std::numeric_limits<std::int64_t>::max());
    // A mark ahead of the journal is another copy's (a journal put back from one):
    // it vouches for nothing here.
    if (shippedUpTo) {
      Statement last(db_.get(), "SELECT last_version FROM identity", "오래된 거래를 지울 수 없습니다");
      if (!last.Step() || *shippedUpTo > last.Integer(0)) shipped = 0;
    }
    constexpr const char* kKept =
        "(SELECT day FROM (SELECT substr(at, 1, 10) AS day, MAX(id) AS last FROM operations GROUP BY day)"
        " ORDER BY last DESC LIMIT ?)";
    Execute("BEGIN IMMEDIATE", "오래된 거래를 지울 수 없습니다");
    try {
      // A closing of a day without operations is kept while it lies among the days kept.
      Statement(db_.get(),
                (std::string("DELETE FROM closings WHERE date < (SELECT MIN(day) FROM ") + kKept + ")").c_str(),
                "오래된 거래를 지울 수 없습니다")
          .Bind(1, std::int64_t{retentionDays})
          .Step();
      Statement(db_.get(),
                (std::string("DELETE FROM operations WHERE printed IN (1, 5, 6) AND version <= ? AND"
                             " substr(at, 1, 10) NOT IN ") +
                 kKept)
                    .c_str(),
                "오래된 거래를 지울 수 없습니다")
          .Bind(1, shipped)
          .Bind(2, std::int64_t{retentionDays})
          .Step();
      Statement(db_.get(), "DELETE FROM withdrawn WHERE version <= ?", "오래된 거래를 지울 수 없습니다")
          .Bind(1, shipped)
          .Step();
      Execute("COMMIT", "오래된 거래를 지울 수 없습니다");
    } catch (const JournalError&) {
      sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  std::int64_t Record(const Entry& e) override { return Insert(e, PrintState::Pending); }
  std::int64_t RecordInFlight(const Entry& e) override { return Insert(e, PrintState::InFlight); }

  void Complete(std::int64_t id, const Entry& e) override {
    Statement update(db_.get(),
                     "UPDATE operations SET at = ?, kind = ?, number = ?, total = ?, net = ?, tax = ?, approval = ?,"
                     " request = ?, reply = ?, lines = ?, printer_port = ?, framed = ?, original = ?, printed = 0,"
                     " settled_at = ''"
                     // The service's answer outranks what the operator found meanwhile.
                     " WHERE id = ? AND printed IN (3, 4, 5, 6)",
                     "거래를 기록할 수 없습니다");
    Bind(update, e).Bind(14, id).Step();
    if (sqlite3_changes(db_.get()) != 1) Fail("거래를 기록할 수 없습니다", "the operation in flight is gone");
  }

  void Remove(std::int64_t id) override {
    // Also when the operator settled it meanwhile: the service's refusal outranks it.
    Transaction("거래를 기록할 수 없습니다", [&] {
      Statement(db_.get(),
                "INSERT OR REPLACE INTO withdrawn (id, at, kind, number, total, net, tax, approval, original)"
                " SELECT id, at, kind, number, total, net, tax, approval, original FROM operations"
                " WHERE id = ? AND printed IN (3, 4, 5, 6)",
                "거래를 기록할 수 없습니다")
          .Bind(1, id)
          .Step();
      Statement(db_.get(), "DELETE FROM operations WHERE id = ? AND printed IN (3, 4, 5, 6)", "거래를 기록할 수 없습니다")
          .Bind(1, id)
          .Step();
    });
  }

  void SetPrinted(std::int64_t id, PrintState state) override {
    // The states each may come from (Pending 0, Printed 1, Failed 2, InFlight 3).
    const char* from = state == PrintState::Printed  ? "0, 1, 2"
                       : state == PrintState::Failed ? "0, 2"
                       : state == PrintState::Unknown ? "3"
                                                      : "0, 1, 2, 3, 4";
    Statement(db_.get(), (std::string("UPDATE operations SET printed = ? WHERE id = ? AND printed IN (") + from + ")").c_str(),
              "인쇄 여부를 기록할 수 없습니다")
        .Bind(1, static_cast<std::int64_t>(state))
        .Bind(2, id)
        .Step();
  }

  SettleResult Settle(std::int64_t id, Finding finding, std::string_view at) override {
    Statement update(db_.get(), "UPDATE operations SET printed = ?, settled_at = ? WHERE id = ? AND printed IN (3, 4)",
                     "확인 결과를 기록할 수 없습니다");
    update.Bind(1, static_cast<std::int64_t>(finding == Finding::Charged ? PrintState::SettledCharged
                                                                          : PrintState::SettledNotCharged))
        .BindText(2, at)
        .Bind(3, id)
        .Step();
    if (sqlite3_changes(db_.get()) == 1) return SettleResult::Settled;
    const std::optional<Entry> row = ById(id);
    if (!row) return SettleResult::NoSuchRow;
    return journal::Settled(row->Printed) ? SettleResult::AlreadySettled : SettleResult::NotUnknown;
  }

  std::optional<Entry> ById(std::int64_t id) override {
    Statement q(db_.get(), (std::string("SELECT ") + kColumns + " FROM operations WHERE id = ?").c_str(),
                "저널을 읽을 수 없습니다");
    q.Bind(1, id);
    return q.Step() ? std::optional(Read(q)) : std::nullopt;
  }

  int Closings(std::string_view date) override {
    Statement q(db_.get(), "SELECT COUNT(*) FROM closings WHERE date = ?", "저널을 읽을 수 없습니다");
    q.BindText(1, date);
    return q.Step() ? static_cast<int>(q.Integer(0)) : 0;
  }

  void RecordClosing(std::string_view date, std::string_view at) override {
    Statement(db_.get(), "INSERT INTO closings (date, at) VALUES (?, ?)", "마감을 기록할 수 없습니다")
        .BindText(1, date)
        .BindText(2, at)
        .Step();
  }

  std::optional<Entry> Last() override {
    Statement q(db_.get(),
                (std::string("SELECT ") + kColumns + " FROM operations WHERE printed < 3 ORDER BY id DESC LIMIT 1")
                    .c_str(),
                "저널을 읽을 수 없습니다");
    return q.Step() ? std::optional(Read(q)) : std::nullopt;
  }

  std::optional<Entry> ByApproval(std::string_view approvalNumber) override {
    Statement q(db_.get(),
                (std::string("SELECT ") + kColumns + " FROM operations WHERE " + kTrimmedApproval +
                 " = ? AND printed < 3 ORDER BY id DESC LIMIT 1")
                    .c_str(),
                "저널을 읽을 수 없습니다");
    q.Bind(1, TrimmedApproval(approvalNumber));
    return q.Step() ? std::optional(Read(q)) : std::nullopt;
  }

  std::vector<Entry> Day(std::string_view date) override {
    Statement q(db_.get(),
                (std::string("SELECT ") + kColumns + " FROM operations WHERE substr(at, 1, 10) = ? ORDER BY id").c_str(),
                "저널을 읽을 수 없습니다");
    q.BindText(1, date);
    std::vector<Entry> day;
    while (q.Step()) day.push_back(Read(q));
    return day;
  }

  std::vector<Entry> InStates(std::initializer_list<PrintState> states) override {
    std::string in;
    for (const PrintState state : states) in += (in.empty() ? "" : ", ") + std::to_string(static_cast<int>(state));
    Statement q(db_.get(),
                (std::string("SELECT ") + kColumns + " FROM operations WHERE printed IN (" + in + ") ORDER BY id").c_str(),
                "저널을 읽을 수 없습니다");
    std::vector<Entry> entries;
    while (q.Step()) entries.push_back(Read(q));
    return entries;
  }

  bool CancelledSince(const Entry& entry) override {
    const receipt::ReceiptKind cancellation =
        entry.Kind == receipt::ReceiptKind::VoucherUse         ? receipt::ReceiptKind::VoucherCancellation
        : entry.Kind == receipt::ReceiptKind::CashCardApproval ? receipt::ReceiptKind::CashCardCancellation
                                                               : entry.Kind;
    const std::string_view approval = TrimmedApproval(entry.ApprovalNumber);
    if (cancellation == entry.Kind || approval.empty()) return false;
    Statement q(db_.get(), "SELECT 1 FROM operations WHERE kind = ? AND CAST(trim(original, ' ') AS BLOB) = ? AND printed < 3",
                "저널을 읽을 수 없습니다");
    q.Bind(1, static_cast<std::int64_t>(cancellation)).Bind(2, approval);
    return q.Step();
  }

 private:
  void Execute(const char* sql, const char* what) {
    char* error = nullptr;
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string detail = error ? error : sqlite3_errmsg(db_.get());
      sqlite3_free(error);
      Fail(what, detail);
    }
  }

  // `body` in one write transaction, rolled back when it raises.
  template <typename Body>
  void Transaction(const char* what, const Body& body) {
    Execute("BEGIN IMMEDIATE", what);
    try {
      body();
      Execute("COMMIT", what);
    } catch (const JournalError&) {
      sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  // The journal's identity and its change numbers: every change of a row gives it
  // the journal's next one, by triggers, so no write can forget to. An older
  // journal's rows are numbered in their order once, as its identity is made (under
  // the write lock, looked at again: another process may be doing the same). Row
  // numbers are never given twice (SQLite would give a removed last row's number
  // again): a withdrawn operation and a later one are two rows at the office.
  void AddIdentity() {
    if (HasIdentity()) return;
    Transaction("파일을 열 수 없습니다", [&] {
      if (!HasColumn("version"))
        Execute("ALTER TABLE operations ADD COLUMN version INTEGER NOT NULL DEFAULT 0", "파일을 열 수 없습니다");
      Execute("CREATE TABLE IF NOT EXISTS identity (journal_id TEXT NOT NULL, last_version INTEGER NOT NULL,"
              " last_id INTEGER NOT NULL)",
              "파일을 열 수 없습니다");
      Execute("CREATE TABLE IF NOT EXISTS withdrawn (id INTEGER PRIMARY KEY, version INTEGER NOT NULL DEFAULT 0,"
              " at TEXT NOT NULL, kind INTEGER NOT NULL, number BLOB NOT NULL, total INTEGER NOT NULL,"
              " net INTEGER NOT NULL, tax INTEGER NOT NULL, approval BLOB NOT NULL, original BLOB NOT NULL)",
              "파일을 열 수 없습니다");
      if (HasIdentity()) return;
      Execute("UPDATE operations SET version = id", "파일을 열 수 없습니다");
      // A random (version 4) UUID.
      Execute("INSERT INTO identity SELECT lower(substr(h, 1, 8) || '-' || substr(h, 9, 4) || '-4' || substr(h, 14, 3)"
              " || '-' || substr('89ab', 1 + (abs(random()) % 4), 1) || substr(h, 18, 3) || '-' || substr(h, 21, 12)),"
              " (SELECT COALESCE(MAX(id), 0) FROM operations), (SELECT COALESCE(MAX(id), 0) FROM operations)"
              " FROM (SELECT hex(randomblob(16)) AS h)",
              "파일을 열 수 없습니다");
      const char* next = " BEGIN UPDATE identity SET last_version = last_version + 1;";
      Execute((std::string("CREATE TRIGGER operations_recorded AFTER INSERT ON operations") + next +
               " UPDATE identity SET last_id = MAX(last_id, NEW.id);"
               " UPDATE operations SET version = (SELECT last_version FROM identity) WHERE id = NEW.id; END")
                  .c_str(),
              "파일을 열 수 없습니다");
      Execute((std::string("CREATE TRIGGER operations_changed AFTER UPDATE OF at, kind, number, total, net, tax,"
                           " approval, original, printed, settled_at ON operations") +
               next + " UPDATE operations SET version = (SELECT last_version FROM identity) WHERE id = NEW.id; END")
                  .c_str(),
              "파일을 열 수 없습니다");
      Execute((std::string("CREATE TRIGGER operations_withdrawn AFTER INSERT ON withdrawn") + next +
               " UPDATE withdrawn SET version = (SELECT last_version FROM identity) WHERE id = NEW.id; END")
                  .c_str(),
              "파일을 열 수 없습니다");
      Execute("CREATE INDEX operations_version ON operations(version)", "파일을 열 수 없습니다");
    });
  }

  // Looked at again under the write lock: another process opening the journal at
  // the same time may have added the column meanwhile.
  void AddColumn(std::string_view name, const char* alter) {
    if (HasColumn(name)) return;
    Execute("BEGIN IMMEDIATE", "파일을 열 수 없습니다");
    try {
      if (!HasColumn(name)) Execute(alter, "파일을 열 수 없습니다");
      Execute("COMMIT", "파일을 열 수 없습니다");
    } catch (const JournalError&) {
      sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  // The identity and the triggers, made together.
  bool HasIdentity() {
    Statement q(db_.get(), "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'identity'",
                "파일을 열 수 없습니다");
    return q.Step() && Statement(db_.get(), "SELECT 1 FROM identity", "파일을 열 수 없습니다").Step();
  }

  bool HasColumn(std::string_view name) {
    Statement q(db_.get(), "SELECT name FROM pragma_table_info('operations')", "파일을 열 수 없습니다");
    while (q.Step())
      if (q.Bytes(0) == name) return true;
    return false;
  }

  std::int64_t Insert(const Entry& e, PrintState state) {
    Statement insert(db_.get(),
                     "INSERT INTO operations (at, kind, number, total, net, tax, approval, request, reply, lines,"
                     " printer_port, framed, original, printed, id) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
                     " (SELECT last_id + 1 FROM identity))",
                     "거래를 기록할 수 없습니다");
    Bind(insert, e).Bind(14, static_cast<std::int64_t>(state)).Step();
    return sqlite3_last_insert_rowid(db_.get());
  }

  // The entry's columns as parameters 1 to 13, in the order of the writes above.
  static Statement& Bind(Statement& s, const Entry& e) {
    return s.BindText(1, e.At)
        .Bind(2, static_cast<std::int64_t>(e.Kind))
        .Bind(3, std::string_view(e.Number))
        .Bind(4, std::int64_t{e.Total})
        .Bind(5, std::int64_t{e.Net})
        .Bind(6, std::int64_t{e.Tax})
        .Bind(7, std::string_view(e.ApprovalNumber))
        .Bind(8, std::string_view(e.Request))
        .Bind(9, std::string_view(e.Reply))
        .Bind(10, std::string_view(EncodeLines(e.Lines)))
        .Bind(11, std::int64_t{e.PrinterPort})
        .Bind(12, std::string_view(e.Framed))
        .Bind(13, std::string_view(e.OriginalApproval));
  }

  static Entry Read(const Statement& q) {
    Entry e;
    e.Id = q.Integer(0);
    e.At = q.Bytes(1);
    e.Kind = static_cast<receipt::ReceiptKind>(q.Integer(2));
    e.Number = q.Bytes(3);
    e.Total = static_cast<std::int32_t>(q.Integer(4));
    e.Net = static_cast<std::int32_t>(q.Integer(5));
    e.Tax = static_cast<std::int32_t>(q.Integer(6));
    e.ApprovalNumber = q.Bytes(7);
    e.Request = q.Bytes(8);
    e.Reply = q.Bytes(9);
    e.Lines = DecodeLines(q.Bytes(10)).value_or(receipt::ReceiptLines{});
    e.PrinterPort = static_cast<std::int32_t>(q.Integer(11));
    e.Framed = q.Bytes(12);
    e.Printed = static_cast<PrintState>(q.Integer(13));
    e.OriginalApproval = q.Bytes(14);
    e.SettledAt = q.Bytes(15);
    return e;
  }

  std::unique_ptr<sqlite3, CloseDatabase> db_;
};

}  // namespace

std::unique_ptr<Journal> Journal::Open(const std::string& path, OpenMode mode, Readers readers) {
  return std::make_unique<SqliteJournal>(path, mode, readers);
}

}  // namespace journal
