// The shipper's view of the journal: opened read-only (its user may read the file,
// never write it), each read one statement, so no lock is held between batches.
#include "journal/JournalChanges.h"
#include "SqliteStatement.h"
#include "platform/system/PrivateFile.h"

namespace journal {
namespace {
using sqlite::CloseDatabase;
using sqlite::Fail;
using sqlite::Statement;

class SqliteChangeReader final : public ChangeReader {
 public:
  explicit SqliteChangeReader(const std::string& path) {
    const std::optional<std::string> name = platform::Utf8FileName(path);
    if (!name) Fail("파일을 열 수 없습니다", "the file name has no Unicode form", path);
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(name->c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
    db_.reset(raw);
    if (rc != SQLITE_OK) Fail("파일을 열 수 없습니다", raw ? sqlite3_errmsg(raw) : "out of memory", path);
    // A terminal writing meanwhile holds the write lock only for its own short commits.
    sqlite3_busy_timeout(db_.get(), 5000);
    identity_ = ReadIdentity();
    if (identity_.empty())
      Fail("파일을 열 수 없습니다", "no identity yet: the terminal gives it one when it opens it", path);
  }

  std::string Identity() override { return identity_; }

  std::int64_t LastVersion() override {
    Statement q(db_.get(), "SELECT last_version FROM identity", "저널을 읽을 수 없습니다");
    return q.Step() ? q.Integer(0) : 0;
  }

  std::vector<Change> Since(std::int64_t mark, int limit) override {
    Statement q(db_.get(),
                "SELECT id, at, kind, number, total, net, tax, approval, original, printed, settled_at, version, 0"
                " FROM operations WHERE version > ?1"
                " UNION ALL SELECT id, at, kind, number, total, net, tax, approval, original, 0, '', version, 1"
                " FROM withdrawn WHERE version > ?1 ORDER BY 12 LIMIT ?2",
                "저널을 읽을 수 없습니다");
    q.Bind(1, mark).Bind(2, std::int64_t{limit});
    std::vector<Change> changes;
    while (q.Step()) {
      Change c;
      c.Row.Id = q.Integer(0);
      c.Row.At = q.Bytes(1);
      c.Row.Kind = static_cast<receipt::ReceiptKind>(q.Integer(2));
      c.Row.Number = q.Bytes(3);
      c.Row.Total = static_cast<std::int32_t>(q.Integer(4));
      c.Row.Net = static_cast<std::int32_t>(q.Integer(5));
      c.Row.Tax = static_cast<std::int32_t>(q.Integer(6));
      c.Row.ApprovalNumber = q.Bytes(7);
      c.Row.OriginalApproval = q.Bytes(8);
      c.Row.Printed = static_cast<PrintState>(q.Integer(9));
      c.Row.SettledAt = q.Bytes(10);
      c.Version = q.Integer(11);
      c.Withdrawn = q.Integer(12) != 0;
      changes.push_back(std::move(c));
    }
    return changes;
  }

 private:
  std::string ReadIdentity() {
    Statement exists(db_.get(), "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'identity'",
                     "저널을 읽을 수 없습니다");
    if (!exists.Step()) return {};
    Statement q(db_.get(), "SELECT journal_id FROM identity", "저널을 읽을 수 없습니다");
    return q.Step() ? q.Bytes(0) : std::string();
  }

  std::unique_ptr<sqlite3, CloseDatabase> db_;
  std::string identity_;
};

}  // namespace

std::unique_ptr<ChangeReader> ChangeReader::Open(const std::string& path) {
  return std::make_unique<SqliteChangeReader>(path);
}

}  // namespace journal
