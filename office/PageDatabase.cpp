#include "PageDatabase.h"

#include <charconv>
#include <exception>

namespace office {
namespace {

struct ResultClearer {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClearer>;

}  // namespace

std::int64_t PgRow::Integer(int column) const {
  const std::string_view text = Text(column);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || text.empty())
    throw QueryFailed("not an integer: " + std::string(text.substr(0, 40)));
  return value;
}

PageDatabase::PageDatabase(std::string conninfo) : conninfo_(std::move(conninfo)) {}

PGconn& PageDatabase::Connected() {
  if (connection_ && PQstatus(connection_.get()) == CONNECTION_OK) return *connection_;
  // Our defaults first: what the connection string itself says overrides them. A
  // query that runs away must not hold the page (one thread serves it) for ever; a
  // day's query is one pass over a month's partition, for which compiling it (JIT)
  // costs more than it saves.
  const char* const keywords[] = {"connect_timeout", "application_name", "options", "dbname", nullptr};
  const char* const values[] = {"5", "vek-office", "-c statement_timeout=60s -c jit=off", conninfo_.c_str(), nullptr};
  connection_.reset(PQconnectdbParams(keywords, values, 1));
  if (!connection_) throw DatabaseUnavailable("out of memory");
  if (PQstatus(connection_.get()) != CONNECTION_OK) {
    const std::string message = PQerrorMessage(connection_.get());
    connection_.reset();
    throw DatabaseUnavailable(message);
  }
  return *connection_;
}

bool PageDatabase::TryStream(std::string_view sql, const std::vector<std::string>& params,
                             const std::function<void(const PgRow&)>& row) {
  PGconn& connection = Connected();
  std::vector<const char*> values;
  for (const std::string& p : params) values.push_back(p.c_str());
  const std::string statement(sql);
  if (!PQsendQueryParams(&connection, statement.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                         nullptr, nullptr, 0)) {
    const std::string message = PQerrorMessage(&connection);
    if (PQstatus(&connection) != CONNECTION_BAD) throw QueryFailed(message);
    connection_.reset();
    return false;
  }
  PQsetSingleRowMode(&connection);
  bool handedOn = false;
  std::optional<std::string> error;
  std::string state;  // the error's SQLSTATE: none where libpq lost the server itself
  while (const Result result{PQgetResult(&connection)}) {
    switch (PQresultStatus(result.get())) {
      case PGRES_SINGLE_TUPLE:
        if (error) break;
        try {
          row(PgRow(result.get(), 0));
        } catch (...) {
          // The rest of the rows would still be on their way: the connection goes with them.
          connection_.reset();
          throw;
        }
        handedOn = true;
        break;
      case PGRES_TUPLES_OK:
      case PGRES_COMMAND_OK:
        break;
      default:
        error = PQresultErrorMessage(result.get());
        if (const char* code = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE)) state = code;
    }
  }
  if (!error) return true;
  // A server restarted under a connection that still looks open answers with no
  // state, a lost connection (08) or a shutdown (57P0x): a new connection, not a 500.
  const bool lost = PQstatus(&connection) == CONNECTION_BAD || state.empty() || state.starts_with("08") ||
                    state.starts_with("57P0");
  if (!lost) throw QueryFailed(*error);
  connection_.reset();
  if (handedOn) throw DatabaseUnavailable(*error);  // half a day is no answer; the next request tries again
  return false;
}

void PageDatabase::Stream(std::string_view sql, const std::vector<std::string>& params,
                          const std::function<void(const PgRow&)>& row) {
  // A server restarted since the last request broke the connection we held: once more
  // on a new one, which raises DatabaseUnavailable if the server is still away.
  if (!TryStream(sql, params, row) && !TryStream(sql, params, row))
    throw DatabaseUnavailable("the connection broke twice");
}

}  // namespace office
