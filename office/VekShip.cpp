// vek-ship: the counter's journal shipped to the head office's PostgreSQL.
//   vek-ship          as a service: ships what changes, waits out an office or a
//                     network that is down (retrying ever more slowly), never stops
//   vek-ship --once   ships what is there; exit 0 once the office has all of it
// Both read the settings beside the program (VEK_Demo.ini: 본사DB, the office's
// connection string; 발송폴더, the shipper's state folder, which holds the password
// file "password" and the marks), and the journal read-only.
// Exit: 0 shipped, 1 the office or the journal failed (--once), 2 the settings.
#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "office/Postgres.h"
#include "office/SecretFile.h"
#include "office/Shipper.h"
#include "platform/system/ProgramDirectory.h"
#include "platform/text/Cp949.h"
#include "settings/MerchantSettings.h"

namespace {

constexpr int kBatch = 500;
constexpr auto kIdle = std::chrono::seconds(1);        // between looks at a journal shipped whole
constexpr auto kFirstRetry = std::chrono::seconds(1);  // doubled at each failure, up to kLastRetry
constexpr auto kLastRetry = std::chrono::seconds(60);

// What the service is doing, told once each time it changes (its log is the
// system's journal: a line a state, not a line a retry).
class StateLog {
 public:
  void Tell(const std::string& state, const std::string& detail = {}) {
    if (state == state_) return;
    state_ = state;
    std::cerr << "vek-ship: " << state << (detail.empty() ? "" : ": " + detail) << std::endl;
  }

 private:
  std::string state_;
};

struct Setup {
  std::string Conninfo;
  std::string Password;
  std::string Journal;
  std::string Folder;
  std::string TerminalId;  // UTF-8
  std::string BusinessNumber;
};

int Refuse(const std::string& why) {
  std::cerr << "vek-ship: " << why << "\n";
  return 2;
}

int ShipOnce(const Setup& setup) {
  try {
    office::PgConnection db(setup.Conninfo, setup.Password);
    office::Shipper shipper(setup.Journal, setup.Folder, setup.TerminalId, setup.BusinessNumber);
    while (shipper.ShipBatch(db, kBatch) > 0) {
    }
    std::cout << "the office holds journal " << shipper.JournalId() << " up to change " << shipper.Mark() << "\n";
    return 0;
  } catch (const office::PgError& error) {
    std::cerr << "vek-ship: the office has not got all of the journal: " << error.what() << "\n";
  } catch (const journal::JournalError& error) {
    std::cerr << "vek-ship: the journal can't be read: " << platform::Cp949ToUtf8(error.what()) << "\n";
  }
  return 1;
}

[[noreturn]] void Serve(const Setup& setup) {
  StateLog log;
  office::Shipper shipper(setup.Journal, setup.Folder, setup.TerminalId, setup.BusinessNumber);
  std::unique_ptr<office::PgConnection> db;
  auto wait = kFirstRetry;
  for (;;) {
    try {
      if (!db || !db->Good()) {
        db.reset();
        db = std::make_unique<office::PgConnection>(setup.Conninfo, setup.Password);
        shipper.Reconnected();
      }
      const int shipped = shipper.ShipBatch(*db, kBatch);
      log.Tell(shipper.MarkWritten() ? "shipping" : "shipping, but the mark can't be written (the terminal keeps more)",
               "journal " + shipper.JournalId());
      wait = kFirstRetry;
      if (shipped < kBatch) std::this_thread::sleep_for(kIdle);
      continue;
    } catch (const office::PgError& error) {
      log.Tell("the office can't be reached or refused the batch; retrying", error.what());
    } catch (const journal::JournalError& error) {
      log.Tell("the journal can't be read; retrying", platform::Cp949ToUtf8(error.what()));
    }
    // Whatever failed is rolled back and nothing moved: tried again later, more
    // slowly each time, on a fresh connection.
    db.reset();
    std::this_thread::sleep_for(wait);
    wait = std::min(wait * 2, std::chrono::duration_cast<decltype(wait)>(kLastRetry));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc > 2 || (argc == 2 && mode != "--once")) {
    std::cerr << "usage: vek-ship [--once]\n";
    return 2;
  }
  const settings::MerchantSettings s = settings::LoadMerchantSettings(platform::ProgramDirectory());
  if (s.OfficeDb.empty()) return Refuse("the settings name no head office (본사DB): nothing to ship to");
  const auto conninfo = office::ShippingConninfo(platform::Cp949ToUtf8(s.OfficeDb));
  if (const auto* refusal = std::get_if<office::Refusal>(&conninfo)) return Refuse(refusal->Why);
  const auto password = office::ReadSecretFile(s.ShipperFolder + "password");
  if (const auto* refusal = std::get_if<office::Refusal>(&password))
    return Refuse("the counter's password: " + refusal->Why);
  const Setup setup{std::get<std::string>(conninfo), std::get<std::string>(password), s.JournalFile, s.ShipperFolder,
                    platform::Cp949ToUtf8(s.TerminalId), platform::Cp949ToUtf8(s.BusinessNumber)};
  if (mode == "--once") return ShipOnce(setup);
  Serve(setup);
}
