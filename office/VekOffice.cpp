// vek-office: the head office's commands.
//   vek-office migrate --db CONNINFO
//   vek-office add-counter --db CONNINFO TERMINAL_ID BUSINESS_NUMBER
//   vek-office serve --db CONNINFO --port N [--address ADDRESS]
// Exit 0 done, 1 the database refused or can't be reached, 2 a wrong command line.
#include <iostream>
#include <string>
#include <variant>
#include <vector>

#include "office/Counters.h"
#include "office/Migrations.h"
#include "office/Postgres.h"
#include "office/ServeCommand.h"

namespace {

constexpr const char* kUsage =
    "usage: vek-office migrate --db CONNINFO\n"
    "       vek-office add-counter --db CONNINFO TERMINAL_ID BUSINESS_NUMBER\n"
    "       vek-office serve --db CONNINFO --port N [--address ADDRESS]\n";

int Migrate(const std::string& conninfo) {
  office::PgConnection db(conninfo);
  std::vector<std::string> applied;
  office::Migrate(db, applied);
  for (const std::string& name : applied) std::cout << "applied " << name << "\n";
  if (applied.empty()) std::cout << "up to date\n";
  return 0;
}

int AddCounter(const std::string& conninfo, const std::string& terminalId, const std::string& businessNumber) {
  office::PgConnection db(conninfo);
  const office::NewCounter counter = office::AddCounter(db, terminalId, businessNumber);
  // The password once, on its own line, for the counter's password file.
  std::cerr << "role " << counter.Role << " added; its password follows, shown this once\n";
  std::cout << counter.Password << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "serve") {
    const auto options = office::ParseServeOptions({args.begin() + 1, args.end()});
    if (const auto* error = std::get_if<std::string>(&options)) {
      std::cerr << "vek-office serve: " << *error << "\n";
      return 2;
    }
    return office::Serve(std::get<office::ServeOptions>(options), argc, argv);
  }
  if (args.size() < 3 || args[1] != "--db") {
    std::cerr << kUsage;
    return 2;
  }
  try {
    if (args[0] == "migrate" && args.size() == 3) return Migrate(args[2]);
    if (args[0] == "add-counter" && args.size() == 5) return AddCounter(args[2], args[3], args[4]);
  } catch (const office::PgError& error) {
    std::cerr << "vek-office " << args[0] << ": " << error.what() << "\n";
    return 1;
  }
  std::cerr << kUsage;
  return 2;
}
