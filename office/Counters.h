#pragma once

#include <string>

#include "Postgres.h"

// A counter at the head office: a login role of its own (a member of `counter`,
// which the row-level rules of the migrations name) and its row in `counters`.
namespace office {

struct NewCounter {
  std::string Role;
  std::string Password;  // told once: the office keeps only its SCRAM hash
};

// The role's name from the terminal ID and the business number ("counter_<id>_<no>",
// letters and digits only, lower case). Raises PgError when the counter or the role
// is there already, or the database refuses.
NewCounter AddCounter(PgConnection& db, const std::string& terminalId, const std::string& businessNumber);

// The role's name AddCounter gives; empty when either holds no letter or digit.
std::string CounterRole(const std::string& terminalId, const std::string& businessNumber);

}  // namespace office
