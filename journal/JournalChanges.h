#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "journal/Journal.h"

// The journal as its shipper reads it: read-only, in short read transactions beside
// the terminal writing it. Every change of a row (recorded, completed, printed,
// settled, withdrawn) gives the row the journal's next change number, so "the rows
// changed since M" is all a head office holding the journal up to M lacks.
namespace journal {

// A row's latest state: the entry without its request, reply and receipt (not
// shipped), its change number, and whether the operation was withdrawn (taken away
// in flight: no operation).
struct Change {
  Entry Row{};
  std::int64_t Version = 0;
  bool Withdrawn = false;
};

class ChangeReader {
 public:
  // Raises JournalError: no journal there, not a journal, or one no terminal has
  // opened since it has an identity.
  static std::unique_ptr<ChangeReader> Open(const std::string& path);
  virtual ~ChangeReader() = default;

  virtual std::string Identity() = 0;
  // The journal's latest change number.
  virtual std::int64_t LastVersion() = 0;
  // At most `limit` rows changed after `mark`, by change number.
  virtual std::vector<Change> Since(std::int64_t mark, int limit) = 0;
};

}  // namespace journal
