// Two counters' journals of a day (the second's made anew that day, so it has two),
// made through the journal itself, and their rows
// as a shipper would put them into the head office's database (SQL on standard
// output, UTF-8): every state an operation can be in, a withdrawn operation (the
// journal took it away; the office keeps it as withdrawn), the day before (another
// month's partition), and texts a page or a spreadsheet must not take for markup
// or formulas.
//   office-chain-journals FOLDER DATE   (DATE the first of a month)
// makes FOLDER/counter1.db, FOLDER/counter2-old.db and FOLDER/counter2.db.
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "journal/JournalTexts.h"
#include "platform/text/Cp949.h"

namespace {

using journal::Entry;
using journal::PrintState;
using receipt::ReceiptKind;

struct Counter {
  const char* Role;
  const char* TerminalId;
  const char* BusinessNumber;
};

struct ShippedJournal {
  const Counter& Owner;
  const char* File;
  const char* Id;
  const char* FirstShipped;  // SQL
  // What the counter did; the rows it withdrew (gone from the journal).
  std::function<std::vector<Entry>(journal::Journal&)> Fill;
};

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

Entry Operation(const std::string& at, ReceiptKind kind, const std::string& number, std::int32_t total,
                const std::string& approval, const std::string& original = {}) {
  return Entry{.At = at,
               .Kind = kind,
               .Number = number,
               .Total = total,
               .Net = total - total / 11,
               .Tax = total / 11,
               .ApprovalNumber = approval,
               .OriginalApproval = original};
}

// One row of the office's operations.
std::string Row(const std::string& journalId, const Entry& e, int state, std::int64_t version) {
  const std::string masked = platform::Cp949ToUtf8(journal::MaskedNumber(e.Number));
  const std::string month = e.At.substr(0, 8) + "01";
  return "(" + Quoted(journalId) + ", " + std::to_string(e.Id) + ", " + Quoted(month) + ", " +
         std::to_string(version) + ", " + Quoted(e.At) + ", " + std::to_string(static_cast<int>(e.Kind)) + ", " +
         Quoted(masked) + ", " + Quoted(masked.substr(masked.size() - 4)) + ", " + std::to_string(e.Total) + ", " +
         std::to_string(e.Net) + ", " + std::to_string(e.Tax) + ", " + Quoted(platform::Cp949ToUtf8(e.ApprovalNumber)) +
         ", " + Quoted(platform::Cp949ToUtf8(e.OriginalApproval)) + ", " + std::to_string(state) + ", " +
         (e.SettledAt.empty() ? std::string("NULL") : Quoted(e.SettledAt)) + ")";
}

std::vector<Entry> FirstCounter(journal::Journal& j, const std::string& day, const std::string& before) {
  std::vector<Entry> withdrawn;
  j.SetPrinted(j.Record(Operation(before + " 23:59:59", ReceiptKind::VoucherUse, "1000000000001", 9999, "Z0000001")),
               PrintState::Printed);
  j.SetPrinted(j.Record(Operation(day + " 09:00:01", ReceiptKind::VoucherUse, "1000000000001", 10000, "A0000001")),
               PrintState::Printed);
  j.Record(Operation(day + " 09:10:00", ReceiptKind::VoucherUse, "1000000004321", 5000, "A0000002"));  // owed
  j.SetPrinted(j.Record(Operation(day + " 09:15:00", ReceiptKind::VoucherUse, "1000000000003", 2500,
                                  "<script>alert(\"x\")</script>&amp;")),
               PrintState::Printed);
  j.SetPrinted(j.Record(Operation(day + " 09:20:00", ReceiptKind::VoucherCancellation, "1000000000001", 10000,
                                  "A0000003", "A0000001")),
               PrintState::Printed);
  j.SetPrinted(
      j.Record(Operation(day + " 10:00:00", ReceiptKind::CashCardApproval, "9000000000001", 120000, "A0000004")),
      PrintState::Failed);  // owed: the printer failed
  j.RecordInFlight(Operation(day + " 10:30:00", ReceiptKind::CashCardApproval, "9000000000002", 7000, ""));
  const auto charged =
      j.RecordInFlight(Operation(day + " 11:00:00", ReceiptKind::VoucherUse, "1000000000005", 3000, ""));
  j.SetPrinted(charged, PrintState::Unknown);
  j.Settle(charged, journal::Finding::Charged, day + " 11:20:45");
  j.SetPrinted(j.Record(Operation(day + " 11:30:00", ReceiptKind::CashCardCancellation, "9000000000001", 20000,
                                  "A0000005", "A0000004")),
               PrintState::Printed);
  Entry refused = Operation(day + " 12:00:00", ReceiptKind::CashCardApproval, "9000000000002", 50000, "");
  refused.Id = j.RecordInFlight(refused);
  // Taken away once a later row stands: a journal's last row removed leaves its id
  // to the next one, which a shipper has to tell apart.
  const auto notCharged =
      j.RecordInFlight(Operation(day + " 13:00:00", ReceiptKind::CashCardApproval, "9000000000002", 12000, ""));
  j.Remove(refused.Id);
  withdrawn.push_back(refused);
  j.Settle(notCharged, journal::Finding::NotCharged, day + " 13:05:09");
  j.SetPrinted(j.RecordInFlight(Operation(day + " 14:00:00", ReceiptKind::VoucherUse, "1000000000006", 1000, "")),
               PrintState::Unknown);
  const auto completed =
      j.RecordInFlight(Operation(day + " 15:00:00", ReceiptKind::VoucherUse, "1000000000002", 30000, ""));
  j.Complete(completed, Operation(day + " 15:00:00", ReceiptKind::VoucherUse, "1000000000002", 30000, "A0000006"));
  j.SetPrinted(completed, PrintState::Printed);
  return withdrawn;
}

// The second counter's morning, before its journal was made anew.
std::vector<Entry> OldJournal(journal::Journal& j, const std::string& day) {
  for (int i = 1; i <= 5; ++i) {
    const auto id = j.Record(Operation(day + " 07:0" + std::to_string(i) + ":00", ReceiptKind::CashCardApproval,
                                       "900000000010" + std::to_string(i), 1000 * i, "O000000" + std::to_string(i)));
    if (i != 3) j.SetPrinted(id, PrintState::Printed);
  }
  return {};
}

std::vector<Entry> SecondCounter(journal::Journal& j, const std::string& day) {
  std::mt19937 random(20261201);
  const ReceiptKind kinds[] = {ReceiptKind::VoucherUse, ReceiptKind::VoucherCancellation, ReceiptKind::CashCardApproval,
                               ReceiptKind::CashCardCancellation};
  for (int i = 0; i < 40; ++i) {
    char at[32], approval[16];
    std::snprintf(at, sizeof at, "%s %02d:%02d:%02d", day.c_str(), 8 + i / 4, (i * 7) % 60, i % 60);
    std::snprintf(approval, sizeof approval, "B%07d", i + 1);
    const ReceiptKind kind = kinds[random() % 4];
    const std::int32_t total = static_cast<std::int32_t>(1000 * (1 + random() % 300));
    const bool card = kind == ReceiptKind::CashCardApproval || kind == ReceiptKind::CashCardCancellation;
    std::string number = (card ? "90000000" : "10000000") + std::to_string(10000 + i);
    if (i == 20) number = "9000000004321";  // a number whose last four another counter's also ends in
    // A text a spreadsheet would run as a formula.
    const std::string approvalText = i == 25 ? "=HYPERLINK(\"http://x\",\"y\")" : approval;
    const auto id = j.Record(Operation(at, kind, number, total, approvalText));
    if (i % 9 != 4) j.SetPrinted(id, PrintState::Printed);
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: office-chain-journals FOLDER YYYY-MM-01\n";
    return 2;
  }
  const std::string folder = argv[1], day = argv[2];
  // The day before, in the month before.
  const std::chrono::year_month_day first{std::chrono::year(std::stoi(day.substr(0, 4))),
                                          std::chrono::month(static_cast<unsigned>(std::stoi(day.substr(5, 2)))),
                                          std::chrono::day(1)};
  const std::chrono::year_month_day last{std::chrono::sys_days(first) - std::chrono::days(1)};
  char before[40];
  std::snprintf(before, sizeof before, "%04d-%02u-%02u", static_cast<int>(last.year()),
                static_cast<unsigned>(last.month()), static_cast<unsigned>(last.day()));

  const Counter counters[] = {{"page_counter_1", "PAGE01", "1234567890"}, {"page_counter_2", "PAGE01", "2208112345"}};
  // The second counter's journal was made anew that day: its old one shipped first
  // (its identity sorts after the new one's, so only the order of shipping tells).
  const ShippedJournal journals[] = {
      {counters[0], "counter1.db", "6f1c1b9e-0000-4000-8000-000000000001", "now()",
       [&](journal::Journal& j) { return FirstCounter(j, day, before); }},
      {counters[1], "counter2-old.db", "6f1c1b9e-0000-4000-8000-000000000003", "now() - interval '1 day'",
       [&](journal::Journal& j) { return OldJournal(j, day); }},
      {counters[1], "counter2.db", "6f1c1b9e-0000-4000-8000-000000000002", "now()",
       [&](journal::Journal& j) { return SecondCounter(j, day); }}};
  std::cout << "BEGIN;\n";
  for (const Counter& counter : counters)
    std::cout << "INSERT INTO counters (role, terminal_id, business_number) VALUES (" << Quoted(counter.Role) << ", "
              << Quoted(counter.TerminalId) << ", " << Quoted(counter.BusinessNumber) << ");\n";
  for (const ShippedJournal& journal : journals) {
    const auto book = journal::Journal::Open(folder + "/" + journal.File);
    const std::vector<Entry> withdrawn = journal.Fill(*book);
    std::cout << "INSERT INTO journals (journal_id, role, first_shipped) VALUES (" << Quoted(journal.Id) << ", "
              << Quoted(journal.Owner.Role) << ", " << journal.FirstShipped << ");\n";
    std::vector<std::string> rows;
    for (const std::string& date : {std::string(before), day})
      for (const Entry& e : book->Day(date)) rows.push_back(Row(journal.Id, e, static_cast<int>(e.Printed), 2));
    for (const Entry& e : withdrawn) rows.push_back(Row(journal.Id, e, 7, 2));
    std::cout << "INSERT INTO operations (journal_id, row_id, month, version, at, kind, number_masked, last4, total,"
                 " net, tax, approval, original_approval, state, settled_at) VALUES\n";
    for (std::size_t i = 0; i < rows.size(); ++i) std::cout << "  " << rows[i] << (i + 1 < rows.size() ? ",\n" : ";\n");
  }
  std::cout << "COMMIT;\n";
  return 0;
}
