#include "Postgres.h"

namespace office {
namespace {

std::string Trimmed(const char* message) {
  std::string text = message ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

std::optional<std::vector<std::pair<std::string, std::string>>> ParseConninfo(const std::string& conninfo,
                                                                              std::string& error) {
  char* message = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &message);
  if (!options) {
    error = message ? Trimmed(message) : "out of memory";
    PQfreemem(message);
    return std::nullopt;
  }
  std::vector<std::pair<std::string, std::string>> given;
  for (const PQconninfoOption* o = options; o->keyword; ++o)
    if (o->val) given.emplace_back(o->keyword, o->val);
  PQconninfoFree(options);
  return given;
}

PgConnection::PgConnection(const std::string& conninfo, const std::optional<std::string>& password) {
  // The string's own keywords, then the password: a string libpq reads as a whole
  // (dbname may itself be a connection string, expanded first).
  std::vector<const char*> keywords{"dbname"};
  std::vector<const char*> values{conninfo.c_str()};
  if (password) {
    keywords.push_back("password");
    values.push_back(password->c_str());
  }
  keywords.push_back(nullptr);
  values.push_back(nullptr);
  connection_.reset(PQconnectdbParams(keywords.data(), values.data(), 1));
  if (!connection_) throw PgError("out of memory");
  if (PQstatus(connection_.get()) != CONNECTION_OK) throw PgError(Trimmed(PQerrorMessage(connection_.get())));
}

PgResult PgConnection::Exec(const std::string& sql, const std::vector<std::optional<std::string>>& parameters) {
  std::vector<const char*> values;
  for (const auto& p : parameters) values.push_back(p ? p->c_str() : nullptr);
  PgResult result(PQexecParams(connection_.get(), sql.c_str(), static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0));
  const ExecStatusType status = PQresultStatus(result.raw());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    const char* message = PQresultErrorMessage(result.raw());
    throw PgError(Trimmed(message && *message ? message : PQerrorMessage(connection_.get())));
  }
  return result;
}

std::string PgConnection::Identifier(std::string_view name) {
  std::unique_ptr<char, decltype(&PQfreemem)> quoted(
      PQescapeIdentifier(connection_.get(), name.data(), name.size()), &PQfreemem);
  if (!quoted) throw PgError(Trimmed(PQerrorMessage(connection_.get())));
  return quoted.get();
}

std::string PgConnection::Literal(std::string_view text) {
  std::unique_ptr<char, decltype(&PQfreemem)> quoted(PQescapeLiteral(connection_.get(), text.data(), text.size()),
                                                     &PQfreemem);
  if (!quoted) throw PgError(Trimmed(PQerrorMessage(connection_.get())));
  return quoted.get();
}

std::string PgConnection::EncryptedPassword(const std::string& password, const std::string& role) {
  std::unique_ptr<char, decltype(&PQfreemem)> hashed(
      PQencryptPasswordConn(connection_.get(), password.c_str(), role.c_str(), "scram-sha-256"), &PQfreemem);
  if (!hashed) throw PgError(Trimmed(PQerrorMessage(connection_.get())));
  return hashed.get();
}

PgTransaction::PgTransaction(PgConnection& connection) : connection_(connection) { connection_.Exec("BEGIN"); }

PgTransaction::~PgTransaction() {
  if (done_) return;
  // Nothing to tell from here: the connection may be gone, and then so is the
  // transaction.
  PgResult(PQexec(connection_.get(), "ROLLBACK"));
}

void PgTransaction::Commit() {
  connection_.Exec("COMMIT");
  done_ = true;
}

}  // namespace office
