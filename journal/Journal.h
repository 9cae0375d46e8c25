#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "receipt/ReceiptBuilder.h"
#include "receipt/ReceiptLines.h"

// The terminal's journal: every use, cancellation, approval and card cancellation,
// committed before its request goes to the module (in flight), completed with its
// receipt once accepted and before the receipt goes to the printer, so that no
// charge and no receipt is lost to a printer that fails or a terminal that dies:
// an operation whose answer never came is told as unknown, a receipt can be printed
// again. One SQLite file, readable by its owner only (on Windows the folder's
// access rules apply).
namespace journal {

enum class PrintState : int {
  Pending = 0,  // recorded, not (yet) printed: the terminal died on the way to the paper
  Printed = 1,
  Failed = 2,   // the printer failed and the operator was told
  // The request went to the module and no answer was recorded: the terminal ended
  // during the call or before the answer was written. Its outcome is unknown.
  InFlight = 3,
  Unknown = 4,  // in flight, and the operator has been told to check it with an inquiry
  // An outcome the terminal never learnt, settled by the operator after checking with
  // the service: their finding, not the service's answer (SettledAt says when).
  SettledCharged = 5,
  SettledNotCharged = 6,
};

// A receipt owed: the operation was accepted and its receipt never printed.
inline bool Owed(PrintState state) { return state == PrintState::Pending || state == PrintState::Failed; }
// An operation whose outcome the terminal never learnt.
inline bool OutcomeUnknown(PrintState state) { return state == PrintState::InFlight || state == PrintState::Unknown; }
inline bool Settled(PrintState state) {
  return state == PrintState::SettledCharged || state == PrintState::SettledNotCharged;
}
// An operation the service accepted: its answer was recorded (printed or not).
inline bool Accepted(PrintState state) {
  return state == PrintState::Pending || state == PrintState::Printed || state == PrintState::Failed;
}

struct Entry {
  std::int64_t Id = 0;
  std::string At{};  // local time, "YYYY-MM-DD hh:mm:ss"
  receipt::ReceiptKind Kind = receipt::ReceiptKind::VoucherUse;
  std::string Number{};  // CP949, as typed
  std::int32_t Total = 0;
  std::int32_t Net = 0;
  std::int32_t Tax = 0;
  std::string ApprovalNumber{};
  std::string OriginalApproval{};  // cancellations: the approval number cancelled
  std::string Request{};  // as sent to the module
  std::string Reply{};    // as the module gave it
  receipt::ReceiptLines Lines{};  // the receipt as composed
  std::int32_t PrinterPort = 0;   // the route it was framed for
  std::string Framed{};           // the receipt exactly as framed for that route
  PrintState Printed = PrintState::Pending;
  std::string SettledAt{};  // when the operator settled an unknown outcome, local time
};

// What the operator found when checking an unknown outcome with the service.
enum class Finding { Charged, NotCharged };

enum class SettleResult {
  Settled,
  NoSuchRow,
  AlreadySettled,
  NotUnknown,  // the service's answer is recorded: there is nothing to settle
};

// Whether Open may make a journal that isn't there: a payment's record may, a
// listing, a reprint or a closing never does.
enum class OpenMode { CreateIfMissing, ExistingOnly };

// Who may read the journal besides its owner: where it is shipped to a head office,
// the shipper's user, by the file's group (never writing it).
enum class Readers { Owner, OwnerAndGroup };

// What went wrong with the journal, for the operator (CP949).
class JournalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The time on this machine's clock as the journal writes it.
std::string LocalTimeNow();

class Journal {
 public:
  // Opens the file, creating it private to its owner when `mode` allows (an existing
  // one is made private), and brings an older journal's table up to date. Never
  // through a link: only a regular file of the terminal's user. A database another
  // process is writing is waited for. Raises JournalError: a file that can't be
  // opened or created, isn't there (ExistingOnly), is a link or another user's, is
  // read-only or isn't a journal. Nothing where this build keeps no journal.
  // Each journal has an identity (a UUID) made when it is made (an older journal's
  // at its first opening), under which its rows are shipped.
  static std::unique_ptr<Journal> Open(const std::string& path, OpenMode mode = OpenMode::CreateIfMissing,
                                       Readers readers = Readers::Owner);
  virtual ~Journal() = default;

  virtual std::string Identity() = 0;

  // Keeps the operations of the `retentionDays` days most recently traded on and
  // removes the printed ones (and the settled ones) of other days, never a receipt
  // owed or an outcome unknown. Counting days that had operations, not the calendar,
  // and ranking them by when they were traded on, not by their dates, a clock set
  // ahead or back (for one operation or many) can't empty the journal: the day being
  // traded on is always kept. Where the journal is shipped, `shippedUpTo` is the
  // change number the head office has acknowledged: a row (or a withdrawal) changed
  // since is kept whatever its age; without it withdrawals go at once. Raises
  // JournalError.
  virtual void RemoveExpired(int retentionDays, std::optional<std::int64_t> shippedUpTo = std::nullopt) = 0;

  // Each write is committed durably before it returns; Id and Printed are ignored.
  // An accepted operation, its receipt not yet printed.
  virtual std::int64_t Record(const Entry& entry) = 0;
  // An operation about to be sent: the request, its kind, number and amounts.
  virtual std::int64_t RecordInFlight(const Entry& entry) = 0;
  // Complete and Remove settle the operation in flight as `id` also when it has been
  // marked unknown meanwhile (a window starting while vek waits for the module).
  // Accepted: the whole entry, not yet printed.
  virtual void Complete(std::int64_t id, const Entry& entry) = 0;
  // Refused, or failed with nothing charged that the operator wasn't told of: it is
  // no operation of the journal's. An accepted operation is never taken away. What
  // is taken away leaves a withdrawal, so that a head office told of the operation
  // in flight learns that it never happened.
  virtual void Remove(std::int64_t id) = 0;
  // Only as the row's state allows, so that what another process settled meanwhile
  // stands: Printed from a receipt owed (or printed), Failed from a receipt owed,
  // Unknown from in flight; otherwise nothing changes.
  virtual void SetPrinted(std::int64_t id, PrintState state) = 0;

  // Records the operator's finding for an operation of unknown outcome, once.
  virtual SettleResult Settle(std::int64_t id, Finding finding, std::string_view at) = 0;

  virtual std::optional<Entry> Last() = 0;
  virtual std::optional<Entry> ById(std::int64_t id) = 0;
  // The latest accepted operation with this approval number, compared as the server
  // compares them: blanks around it don't count.
  virtual std::optional<Entry> ByApproval(std::string_view approvalNumber) = 0;
  // The operations of a day ("YYYY-MM-DD"), in order.
  virtual std::vector<Entry> Day(std::string_view date) = 0;
  // Every operation in these states, oldest first.
  virtual std::vector<Entry> InStates(std::initializer_list<PrintState> states) = 0;
  // Whether an accepted cancellation of this entry's operation is in the journal.
  virtual bool CancelledSince(const Entry& entry) = 0;

  // The day's closings: how many were printed before, and this one recorded.
  virtual int Closings(std::string_view date) = 0;
  virtual void RecordClosing(std::string_view date, std::string_view at) = 0;
};

// An approval number as the server reads it: without the blanks around it.
inline std::string_view TrimmedApproval(std::string_view approval) {
  const std::size_t first = approval.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return approval.substr(first, approval.find_last_not_of(' ') - first + 1);
}

}  // namespace journal
