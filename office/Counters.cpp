#include "Counters.h"

#include <cctype>
#include <random>

namespace office {
namespace {

std::string Plain(const std::string& text) {
  std::string plain;
  for (const unsigned char c : text)
    if (std::isalnum(c) && c < 0x80) plain += static_cast<char>(std::tolower(c));
  return plain;
}

// 24 letters and digits from the system's random source (about 143 bits).
std::string RandomPassword() {
  static constexpr char kAlphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
  std::random_device source;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string password;
  for (int i = 0; i < 24; ++i) password += kAlphabet[pick(source)];
  return password;
}

}  // namespace

std::string CounterRole(const std::string& terminalId, const std::string& businessNumber) {
  const std::string id = Plain(terminalId);
  const std::string number = Plain(businessNumber);
  if (id.empty() || number.empty()) return {};
  return "counter_" + id + "_" + number;
}

NewCounter AddCounter(PgConnection& db, const std::string& terminalId, const std::string& businessNumber) {
  // As the terminal's settings would hold them: the page and the CSV show them.
  for (const std::string* text : {&terminalId, &businessNumber})
    for (const unsigned char c : *text)
      if (c < 0x20 || c == 0x7f) throw PgError("the terminal ID and the business number may hold no control characters");
  NewCounter counter{CounterRole(terminalId, businessNumber), RandomPassword()};
  if (counter.Role.empty()) throw PgError("the terminal ID and the business number need letters or digits");
  if (counter.Role.size() > 63) throw PgError("the role's name would be longer than 63 bytes: " + counter.Role);
  PgTransaction transaction(db);
  db.Exec("CREATE ROLE " + db.Identifier(counter.Role) + " LOGIN IN ROLE counter PASSWORD " +
          db.Literal(db.EncryptedPassword(counter.Password, counter.Role)));
  db.Exec("INSERT INTO counters (role, terminal_id, business_number) VALUES ($1, $2, $3)",
          {counter.Role, terminalId, businessNumber});
  transaction.Commit();
  return counter;
}

}  // namespace office
