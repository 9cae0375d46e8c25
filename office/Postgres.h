#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The head office's PostgreSQL through libpq: a connection and its results, each
// freed by its owner; errors are exceptions carrying the server's message (UTF-8).
namespace office {

class PgError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ClearResult {
  void operator()(PGresult* r) const { PQclear(r); }
};
struct FinishConnection {
  void operator()(PGconn* c) const { PQfinish(c); }
};

class PgResult {
 public:
  explicit PgResult(PGresult* result) : result_(result) {}
  int Rows() const { return PQntuples(result_.get()); }
  bool Null(int row, int column) const { return PQgetisnull(result_.get(), row, column) != 0; }
  std::string Text(int row, int column) const { return PQgetvalue(result_.get(), row, column); }
  std::int64_t Integer(int row, int column) const { return std::stoll(Text(row, column)); }
  PGresult* raw() const { return result_.get(); }

 private:
  std::unique_ptr<PGresult, ClearResult> result_;
};

class PgConnection {
 public:
  // A connection string as libpq takes it, and a password given apart (never part
  // of the string), or none. Raises PgError when it can't connect.
  explicit PgConnection(const std::string& conninfo, const std::optional<std::string>& password = std::nullopt);

  // A statement with text parameters (nothing: NULL). Raises PgError.
  PgResult Exec(const std::string& sql, const std::vector<std::optional<std::string>>& parameters = {});
  // An identifier or a literal quoted for a statement of its own.
  std::string Identifier(std::string_view name);
  std::string Literal(std::string_view text);
  // The password as the server keeps it (SCRAM), so the clear text never goes into
  // a statement (nor the server's log).
  std::string EncryptedPassword(const std::string& password, const std::string& role);
  // The connection is still good; false after the server or the network went away.
  bool Good() const { return PQstatus(connection_.get()) == CONNECTION_OK; }
  PGconn* get() const { return connection_.get(); }

 private:
  std::unique_ptr<PGconn, FinishConnection> connection_;
};

// BEGIN now; ROLLBACK unless Commit() was reached (an exception on the way).
class PgTransaction {
 public:
  explicit PgTransaction(PgConnection& connection);
  ~PgTransaction();
  PgTransaction(const PgTransaction&) = delete;
  PgTransaction& operator=(const PgTransaction&) = delete;
  void Commit();

 private:
  PgConnection& connection_;
  bool done_ = false;
};

// The keywords of a connection string, as libpq reads them: nothing when it can't
// be read (`error` says why).
std::optional<std::vector<std::pair<std::string, std::string>>> ParseConninfo(const std::string& conninfo,
                                                                              std::string& error);

}  // namespace office
