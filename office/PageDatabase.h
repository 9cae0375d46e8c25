#pragma once

#include <libpq-fe.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The page's connection to the head office's PostgreSQL (libpq): one connection,
// made when first needed and made again after the server went away, so that the
// page serves again as soon as the database is back.
namespace office {

// The database can't be reached (the page says so with a 503).
class DatabaseUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The database answered with an error (a query the schema doesn't allow, a timeout).
class QueryFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One row of a result, read by column; values are texts as PostgreSQL gives them.
class PgRow {
 public:
  PgRow(const PGresult* result, int row) : result_(result), row_(row) {}
  bool IsNull(int column) const { return PQgetisnull(result_, row_, column) != 0; }
  std::string_view Text(int column) const {
    return {PQgetvalue(result_, row_, column), static_cast<std::size_t>(PQgetlength(result_, row_, column))};
  }
  // An integer column (raises QueryFailed for anything else).
  std::int64_t Integer(int column) const;

 private:
  const PGresult* result_;
  int row_;
};

class PageDatabase {
 public:
  explicit PageDatabase(std::string conninfo);

  // Runs one statement with its parameters as texts and hands each row to `row`
  // as it arrives, so that a day of a whole chain is never held at once. A
  // connection lost before the first row is made again once. Raises
  // DatabaseUnavailable or QueryFailed; what `row` raises is passed on.
  void Stream(std::string_view sql, const std::vector<std::string>& params,
              const std::function<void(const PgRow&)>& row);

 private:
  struct ConnectionCloser {
    void operator()(PGconn* connection) const { PQfinish(connection); }
  };
  using Connection = std::unique_ptr<PGconn, ConnectionCloser>;

  PGconn& Connected();
  // One attempt; false when the connection broke before any row was handed on.
  bool TryStream(std::string_view sql, const std::vector<std::string>& params,
                 const std::function<void(const PgRow&)>& row);

  std::string conninfo_;
  Connection connection_;
};

}  // namespace office
