#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "journal/JournalChanges.h"
#include "office/Postgres.h"
#include "office/SecretFile.h"

// A counter's journal shipped to the head office: the rows changed since the
// office's mark, a batch at a time, each batch one transaction of ship_batch (which
// applies a row only over an older state of it). The mark is the office's: asked
// on each connection, kept in memory, moved only once a batch is committed, and
// written to the shipper's state folder for the terminal's retention.
namespace office {

// The settings' connection string for shipping: the server's certificate checked
// against its name (sslmode=verify-full, added when the string names no mode;
// anything less is refused) and no password in it. Raises nothing: why not.
std::variant<std::string, Refusal> ShippingConninfo(const std::string& conninfo);

// The changes as ship_batch reads them: a JSON array, texts in UTF-8, the number
// masked as the journal's listing shows it.
std::string BatchJson(const std::vector<journal::Change>& changes);

class Shipper {
 public:
  // The journal's file; the folder (with its trailing "/") of the marks; the
  // settings' terminal ID and business number (UTF-8), which must be those the
  // office holds for the counter's role.
  Shipper(std::string journalPath, std::string markFolder, std::string terminalId, std::string businessNumber);

  // One batch of at most `batchSize` rows: how many went (0: the office has all).
  // Raises PgError (the office, or a role the office holds for another counter),
  // journal::JournalError (the journal); a batch not committed moves nothing.
  int ShipBatch(PgConnection& office, int batchSize);
  // A new connection: the office is asked again where it stands.
  void Reconnected() { officeMark_.reset(); }

  const std::string& JournalId() const { return journalId_; }
  std::int64_t Mark() const { return officeMark_.value_or(0); }
  // Whether the last mark could be written for the terminal (else it keeps more).
  bool MarkWritten() const { return markWritten_; }

 private:
  std::string journalPath_;
  std::string markFolder_;
  std::string terminalId_;
  std::string businessNumber_;
  std::string journalId_;
  std::optional<std::int64_t> officeMark_;
  bool markWritten_ = true;
};

}  // namespace office
