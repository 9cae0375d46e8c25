#pragma once

// What the journal's SQLite code shares: its errors, the database and statement
// handles.
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "journal/Journal.h"
#include "platform/text/Cp949.h"

namespace journal::sqlite {

// `what` is the program's own text; the file name and the detail are the system's bytes.
[[noreturn]] inline void Fail(const std::string& what, const std::string& detail, const std::string& file = {}) {
  std::string message = platform::Utf8ToCp949("저널오류, " + what);
  if (!file.empty()) message += " (" + file + ")";
  throw JournalError(message + ": " + detail);
}

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

class Statement {
 public:
  Statement(sqlite3* db, const char* sql, const char* what) : db_(db), what_(what) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) Fail(what_, sqlite3_errmsg(db));
    statement_.reset(raw);
  }
  Statement& Bind(int index, std::int64_t value) {
    Check(sqlite3_bind_int64(statement_.get(), index, value));
    return *this;
  }
  Statement& Bind(int index, std::string_view bytes) {
    Check(sqlite3_bind_blob64(statement_.get(), index, bytes.data(), bytes.size(), SQLITE_TRANSIENT));
    return *this;
  }
  Statement& BindText(int index, std::string_view text) {
    Check(sqlite3_bind_text64(statement_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
  }
  // True while a row is there.
  bool Step() {
    const int rc = sqlite3_step(statement_.get());
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) Fail(what_, sqlite3_errmsg(db_));
    return false;
  }
  std::int64_t Integer(int column) const { return sqlite3_column_int64(statement_.get(), column); }
  std::string Bytes(int column) const {
    const void* data = sqlite3_column_blob(statement_.get(), column);
    const int size = sqlite3_column_bytes(statement_.get(), column);
    return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string();
  }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) Fail(what_, sqlite3_errmsg(db_));
  }
  sqlite3* db_;
  const char* what_;
  std::unique_ptr<sqlite3_stmt, FinalizeStatement> statement_;
};

}  // namespace journal::sqlite
