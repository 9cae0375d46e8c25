// A chain's days shipped into the head office's database and read back as the page
// does: COUNTERS counters of OPERATIONS operations a day for DAYS days from DATE
// (the page is of the last; a month's partition holds a month), every counter's day sent
// in batches of multi-row INSERTs that keep the later state of a row (as a shipper
// sends them), over CONNECTIONS connections at once; then the day's page built
// (one query, each counter's closing through the journal's own), timed over RUNS.
//   office-chain-bench CONNINFO DATE COUNTERS OPERATIONS [CONNECTIONS [RUNS [DAYS]]]
// Expects the schema and DATE's month partition; adds to what is there (counters
// are named by their number, so run it on an emptied database for each size).
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

constexpr int kBatch = 250;  // rows a statement, as a shipper would send a backlog

// A counter's day as rows: mostly printed, some receipts owed, some unknown, some
// settled, a few withdrawn; every kind.
std::vector<std::string> CounterRows(int counter, int operations, int dayNumber, const std::string& date,
                                     const std::string& journalId) {
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
    char row[512];
    std::snprintf(row, sizeof row,
                  "('%s', %d, date_trunc('month', date '%s'), 2, timestamp '%s' + interval '%d seconds', %d,"
                  " '*********%04d', '%04d', %d, %d, %d, '%s', '', %d, %s)",
                  journalId.c_str(), dayNumber * operations + i, date.c_str(), date.c_str(), seconds, kind, i % 10000,
                  i % 10000, total, total - total / 11, total / 11,
                  answered ? ("C" + std::to_string(counter * 100000 + dayNumber * operations + i)).c_str() : "", state,
                  state == 5 || state == 6 ? ("timestamp '" + date + " 23:00:00'").c_str() : "NULL");
    rows.emplace_back(row);
  }
  return rows;
}

void Ship(office::PageDatabase& db, int counter, int operations, int dayNumber, const std::string& date) {
  char journalId[40];
  std::snprintf(journalId, sizeof journalId, "00000000-0000-4000-8000-%012d", counter);
  const std::string role = "bench_counter_" + std::to_string(counter);
  const auto none = [](const office::PgRow&) {};
  db.Stream("INSERT INTO counters (role, terminal_id, business_number) VALUES ($1, $2, $3) ON CONFLICT DO NOTHING",
            {role, "T" + std::to_string(counter % 10), std::to_string(1000000000 + counter / 10)}, none);
  db.Stream("INSERT INTO journals (journal_id, role) VALUES ($1, $2) ON CONFLICT DO NOTHING", {journalId, role}, none);
  const std::vector<std::string> rows = CounterRows(counter, operations, dayNumber, date, journalId);
  for (std::size_t first = 0; first < rows.size(); first += kBatch) {
    std::string sql =
        "INSERT INTO operations (journal_id, row_id, month, version, at, kind, number_masked, last4, total, net, tax,"
        " approval, original_approval, state, settled_at) VALUES ";
    for (std::size_t i = first; i < std::min(rows.size(), first + kBatch); ++i)
      (sql += i > first ? "," : "") += rows[i];
    sql +=
        " ON CONFLICT (journal_id, row_id, month) DO UPDATE SET version = EXCLUDED.version, state = EXCLUDED.state,"
        " approval = EXCLUDED.approval, settled_at = EXCLUDED.settled_at, shipped_at = now()"
        " WHERE operations.version < EXCLUDED.version";
    db.Stream(sql, {}, none);
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
