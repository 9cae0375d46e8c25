#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Postgres.h"

// The office's schema as numbered SQL files (office/migrations/NNN_name.sql),
// built into the program: a migration is applied once, whole, in a transaction
// that records it in schema_migrations.
namespace office {

struct Migration {
  std::string_view Name;  // the file's name without ".sql": "001_chain"
  std::string_view Sql;
};

// Every migration, in order (generated from office/migrations at build time).
const std::vector<Migration>& Migrations();

// Applies what the database lacks, in order; each applied one's name goes to
// `applied`. Two at once take turns. Raises PgError (what failed is rolled back,
// what was applied before stays).
void Migrate(PgConnection& db, std::vector<std::string>& applied);

}  // namespace office
