// A chain's days shipped into the head office's database and read back as the page
// does: COUNTERS counters of OPERATIONS operations a day for DAYS days from DATE
// (the page is of the last; a month's partition holds a month), every counter's day sent
// as its shipper sends it (batches through ship_batch), over CONNECTIONS connections
// at once; then the day's page built
// (one query, each counter's closing through the journal's own), timed over RUNS.
//   office-chain-bench CONNINFO DATE COUNTERS OPERATIONS [CONNECTIONS [RUNS [DAYS]]]
// Expects the migrated schema; adds to what is there (counters are named by their
// number, so run it on an emptied database for each size).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "office/ChainDay.h"
#include "office/OfficePage.h"
#include "office/PageDatabase.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

constexpr int kBatch = 500;  // rows a batch, as the shipper sends a backlog

// A counter's day as the shipper's JSON rows: mostly printed, some receipts owed,
// some unknown, some settled, a few withdrawn; every kind.
std::vector<std::string> CounterRows(int counter, int operations, int dayNumber, const std::string& date) {
  std::mt19937 random(static_cast<unsigned>(counter * 100 + dayNumber));
  std::vector<std::string> rows;
  rows.reserve(static_cast<std::size_t>(operations));
  static constexpr int kinds[] = {1, 1, 1, 1, 2, 11, 11, 11, 12};
  for (int i = 1; i <= operations; ++i) {
    const int kind = kinds[random() % 9];
    const int total = 1000 * static_cast<int>(1 + random() % 200);
    const unsigned draw = random() % 1000;
    const int state = draw < 960   ? 1
                      : draw < 975 ? 0
                      : draw < 980 ? 2
                      : draw < 985 ? 4
                      : draw < 990 ? 5
                      : draw < 995 ? 6
                                   : 7;
    const bool answered = state <= 2;
    const int seconds = 8 * 3600 + i * (12 * 3600) / operations;
    const std::string approval = answered ? "C" + std::to_string(counter * 100000 + dayNumber * operations + i) : "";
    const std::string settled = state == 5 || state == 6 ? "\"" + date + " 23:00:00\"" : "null";
    char row[512];
    std::snprintf(row, sizeof row,
                  "{\"row_id\":%d,\"version\":%d,\"at\":\"%s %02d:%02d:%02d\",\"kind\":%d,"
                  "\"number_masked\":\"*********%04d\",\"last4\":\"%04d\",\"total\":%d,\"net\":%d,\"tax\":%d,"
                  "\"approval\":\"%s\",\"original_approval\":\"\",\"state\":%d,\"settled_at\":%s}",
                  dayNumber * operations + i, 3 * (dayNumber * operations + i), date.c_str(), seconds / 3600,
                  seconds / 60 % 60, seconds % 60, kind, i % 10000, i % 10000, total, total - total / 11, total / 11,
                  approval.c_str(), state, settled.c_str());
    rows.emplace_back(row);
  }
  return rows;
}

// A counter's day as its shipper sends it: batches of the shipper's size, each one
// call of the office's ship_batch (the same function, the same rules, as a counter's
// role; run here as the tables' owner, past the counters' row-level rules).
void Ship(office::PageDatabase& db, int counter, int operations, int dayNumber, const std::string& date) {
  char journalId[40];
  std::snprintf(journalId, sizeof journalId, "00000000-0000-4000-8000-%012d", counter);
  const std::string role = "bench_counter_" + std::to_string(counter);
  const auto none = [](const office::PgRow&) {};
  db.Stream("INSERT INTO counters (role, terminal_id, business_number) VALUES ($1, $2, $3) ON CONFLICT DO NOTHING",
            {role, "T" + std::to_string(counter % 10), std::to_string(1000000000 + counter / 10)}, none);
  db.Stream("INSERT INTO journals (journal_id, role) VALUES ($1, $2) ON CONFLICT DO NOTHING", {journalId, role}, none);
  const std::vector<std::string> rows = CounterRows(counter, operations, dayNumber, date);
  for (std::size_t first = 0; first < rows.size(); first += kBatch) {
    std::string batch = "[";
    for (std::size_t i = first; i < std::min(rows.size(), first + kBatch); ++i)
      (batch += i > first ? "," : "") += rows[i];
    db.Stream("SELECT ship_batch($1::uuid, $2::jsonb)", {journalId, batch + "]"}, none);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fputs("usage: office-chain-bench CONNINFO DATE COUNTERS OPERATIONS [CONNECTIONS [RUNS]]\n", stderr);
    return 2;
  }
  const std::string conninfo = argv[1], date = argv[2];
  const int counters = std::stoi(argv[3]), operations = std::stoi(argv[4]);
  const int connections = argc > 5 ? std::stoi(argv[5]) : 2, runs = argc > 6 ? std::stoi(argv[6]) : 3;
  const int days = argc > 7 ? std::stoi(argv[7]) : 1;
  std::vector<std::string> dates;
  for (int d = 0; d < days; ++d) {
    const std::chrono::year_month_day first{std::chrono::year(std::stoi(date.substr(0, 4))),
                                            std::chrono::month(static_cast<unsigned>(std::stoi(date.substr(5, 2)))),
                                            std::chrono::day(static_cast<unsigned>(std::stoi(date.substr(8, 2))))};
    const std::chrono::year_month_day ymd{std::chrono::sys_days(first) + std::chrono::days(d)};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()));
    dates.emplace_back(text);
  }
  const std::string& pageDate = dates.back();

  std::atomic<int> next{0};
  const Clock::time_point began = Clock::now();
  std::vector<std::thread> shippers;
  for (int c = 0; c < connections; ++c)
    shippers.emplace_back([&] {
      office::PageDatabase db(conninfo);
      // Day by day, as counters ship: each day's rows after the day before's.
      for (int job = next++; job < counters * days; job = next++)
        Ship(db, job % counters, operations, job / counters, dates[static_cast<std::size_t>(job / counters)]);
    });
  for (std::thread& t : shippers) t.join();
  const double shipped = Seconds(Clock::now() - began);
  const double rows = static_cast<double>(counters) * operations * days;
  std::printf("shipped %d counters x %d operations x %d days = %.0f rows in %.1f s over %d connections: %.0f rows/s\n",
              counters, operations, days, rows, shipped, connections, rows / shipped);

  office::PageDatabase db(conninfo);
  db.Stream("ANALYZE operations", {}, [](const office::PgRow&) {});
  std::vector<double> times;
  std::size_t bytes = 0, shown = 0;
  for (int run = 0; run < runs; ++run) {
    const Clock::time_point start = Clock::now();
    const office::ChainDay day = office::LoadDay(db, pageDate);
    bytes = office::DayPage(pageDate, day, std::nullopt).size();
    times.push_back(Seconds(Clock::now() - start));
    shown = day.Counters.size();
  }
  std::sort(times.begin(), times.end());
  std::printf("page of %s: %zu counters, %zu bytes; median %.3f s, best %.3f s of %d\n", pageDate.c_str(), shown, bytes,
              times[times.size() / 2], times.front(), runs);
  return 0;
}
