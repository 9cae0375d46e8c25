#include "Migrations.h"

namespace office {

void Migrate(PgConnection& db, std::vector<std::string>& applied) {
  db.Exec("SET client_min_messages = warning");
  db.Exec("CREATE TABLE IF NOT EXISTS schema_migrations (name text PRIMARY KEY,"
          " applied_at timestamptz NOT NULL DEFAULT now())");
  for (const Migration& m : Migrations()) {
    PgTransaction transaction(db);
    // Another vek-office migrating meanwhile applies it first; this one then finds
    // it recorded.
    db.Exec("SELECT pg_advisory_xact_lock(hashtext('vek-office migrate'))");
    const std::string name(m.Name);
    if (db.Exec("SELECT 1 FROM schema_migrations WHERE name = $1", {name}).Rows() > 0) continue;
    // A file of several statements: sent as one simple query, which stops at the
    // first error and answers with it.
    const PgResult result(PQexec(db.get(), std::string(m.Sql).c_str()));
    const ExecStatusType status = PQresultStatus(result.raw());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
      throw PgError(name + ": " + PQresultErrorMessage(result.raw()));
    db.Exec("INSERT INTO schema_migrations (name) VALUES ($1)", {name});
    transaction.Commit();
    applied.push_back(name);
  }
}

}  // namespace office
