#include "office/Shipper.h"

#include <cstdio>

#include "journal/JournalTexts.h"
#include "journal/ShippedMark.h"
#include "platform/text/Cp949.h"

namespace office {
namespace {

void AppendString(std::string& json, std::string_view utf8) {
  json += '"';
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    // The office's texts can't hold a NUL (jsonb refuses one): a row carrying one
    // would stop the journal's shipping for good.
    if (byte == 0) continue;
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      json += escaped;
    } else {
      json += c;
    }
  }
  json += '"';
}

// CP949 bytes of the journal as UTF-8, at the boundary with the office.
void AppendText(std::string& json, std::string_view cp949) { AppendString(json, platform::Cp949ToUtf8(cp949)); }

}  // namespace

std::variant<std::string, Refusal> ShippingConninfo(const std::string& conninfo) {
  std::string error;
  const auto given = ParseConninfo(conninfo, error);
  if (!given) return Refusal{"the office's connection string can't be read: " + error};
  // Written anew from libpq's own reading, keyword by keyword: a mode added to the
  // text as given would land inside a URI's database name, and the connection would
  // fall back to one that checks no certificate.
  std::string checked;
  for (const auto& [keyword, value] : *given) {
    if (keyword == "password")
      return Refusal{"the office's connection string holds a password: it goes in the password file"};
    if (keyword == "sslmode" && value != "verify-full")
      return Refusal{"the office's connection string asks for sslmode=" + value + ", less than verify-full"};
    if (keyword == "sslmode") continue;
    checked += keyword + "='";
    for (const char c : value) {
      if (c == '\\' || c == '\'') checked += '\\';
      checked += c;
    }
    checked += "' ";
  }
  return checked + "sslmode=verify-full";
}

std::string BatchJson(const std::vector<journal::Change>& changes) {
  std::string json = "[";
  for (const journal::Change& c : changes) {
    const journal::Entry& e = c.Row;
    const std::string masked = journal::MaskedNumber(e.Number);
    if (json.size() > 1) json += ',';
    json += "{\"row_id\":" + std::to_string(e.Id) + ",\"version\":" + std::to_string(c.Version) + ",\"at\":";
    AppendText(json, e.At);
    json += ",\"kind\":" + std::to_string(static_cast<int>(e.Kind)) + ",\"number_masked\":";
    AppendText(json, masked);
    json += ",\"last4\":";
    AppendText(json, std::string_view(masked).substr(masked.size() < 4 ? 0 : masked.size() - 4));
    json += ",\"total\":" + std::to_string(e.Total) + ",\"net\":" + std::to_string(e.Net) +
            ",\"tax\":" + std::to_string(e.Tax) + ",\"approval\":";
    AppendText(json, e.ApprovalNumber);
    json += ",\"original_approval\":";
    AppendText(json, e.OriginalApproval);
    // A withdrawn operation: state 7 at the office, whatever it was in flight.
    json += ",\"state\":" + std::to_string(c.Withdrawn ? 7 : static_cast<int>(e.Printed)) + ",\"settled_at\":";
    if (e.SettledAt.empty())
      json += "null";
    else
      AppendText(json, e.SettledAt);
    json += '}';
  }
  return json + "]";
}

Shipper::Shipper(std::string journalPath, std::string markFolder, std::string terminalId, std::string businessNumber)
    : journalPath_(std::move(journalPath)),
      markFolder_(std::move(markFolder)),
      terminalId_(std::move(terminalId)),
      businessNumber_(std::move(businessNumber)) {}

int Shipper::ShipBatch(PgConnection& office, int batchSize) {
  // Opened for each batch: a journal made anew meanwhile is a new identity.
  const auto reader = journal::ChangeReader::Open(journalPath_);
  if (reader->Identity() != journalId_) {
    journalId_ = reader->Identity();
    officeMark_.reset();
  }
  const bool asked = !officeMark_;
  if (asked) {
    // A role copied to another counter would mix two counters' journals under one.
    const PgResult counter = office.Exec("SELECT terminal_id, business_number FROM counters WHERE role = current_user");
    if (counter.Rows() != 1 || counter.Text(0, 0) != terminalId_ || counter.Text(0, 1) != businessNumber_)
      throw PgError("the office holds this role for " +
                    (counter.Rows() == 1 ? "terminal " + counter.Text(0, 0) + ", business number " + counter.Text(0, 1)
                                         : std::string("no counter")) +
                    ", not for terminal " + terminalId_ + ", business number " + businessNumber_);
    // The office's rows say how far it holds the journal: a batch is whole or not
    // there, and applied in change order.
    officeMark_ = office
                      .Exec("SELECT COALESCE(max(version), 0) FROM operations WHERE journal_id = $1::uuid",
                            {journalId_})
                      .Integer(0, 0);
  }
  // A journal put back from a copy numbers its changes again from where the copy
  // stood: they would pass for shipped, and its retention would drop them. Before
  // any mark is written for it.
  if (const std::int64_t last = reader->LastVersion(); *officeMark_ > last) {
    const std::int64_t held = *officeMark_;
    officeMark_.reset();
    throw PgError("the office holds this journal's changes up to " + std::to_string(held) + ", the journal only up to " +
                  std::to_string(last) + ": a journal put back from a copy ships only once it is made anew");
  }
  if (asked)
    markWritten_ = journal::WriteShippedMark(journal::ShippedMarkFile(markFolder_, journalId_), *officeMark_);
  const std::vector<journal::Change> changes = reader->Since(*officeMark_, batchSize);
  if (changes.empty()) return 0;
  {
    PgTransaction transaction(office);
    office.Exec("SELECT ship_batch($1::uuid, $2::jsonb)", {journalId_, BatchJson(changes)});
    transaction.Commit();
  }
  officeMark_ = changes.back().Version;
  markWritten_ = journal::WriteShippedMark(journal::ShippedMarkFile(markFolder_, journalId_), *officeMark_);
  return static_cast<int>(changes.size());
}

}  // namespace office
