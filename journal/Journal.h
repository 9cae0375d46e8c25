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
};

// A receipt owed: the operation was accepted and its receipt never printed.
inline bool Owed(PrintState state) { return state == PrintState::Pending || state == PrintState::Failed; }
// An operation whose outcome the terminal never learnt.
inline bool OutcomeUnknown(PrintState state) { return state == PrintState::InFlight || state == PrintState::Unknown; }

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
};

// What went wrong with the journal, for the operator (CP949).
class JournalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The time on this machine's clock as the journal writes it.
std::string LocalTimeNow();

class Journal {
 public:
  // Opens the file, creating it private to its owner (an existing one is made
  // private), and brings an older journal's table up to date. A database another
  // process is writing is waited for. Raises JournalError: a file that can't be
  // opened or created, is read-only or isn't a journal. Nothing where this build
  // keeps no journal.
  static std::unique_ptr<Journal> Open(const std::string& path);
  virtual ~Journal() = default;

  // Removes the printed operations more than `retentionDays` older than the newest
  // row, never a receipt owed or an outcome unknown, and nothing while the clock is
  // behind the newest row or the newest row lies more than the retention period past
  // the one before it (a clock set wrong can't empty the journal). Raises
  // JournalError.
  virtual void RemoveExpired(int retentionDays) = 0;

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
  // no operation of the journal's. An accepted operation is never taken away.
  virtual void Remove(std::int64_t id) = 0;
  // Only as the row's state allows, so that what another process settled meanwhile
  // stands: Printed from a receipt owed (or printed), Failed from a receipt owed,
  // Unknown from in flight; otherwise nothing changes.
  virtual void SetPrinted(std::int64_t id, PrintState state) = 0;

  virtual std::optional<Entry> Last() = 0;
  // The latest accepted operation with this approval number.
  virtual std::optional<Entry> ByApproval(std::string_view approvalNumber) = 0;
  // The operations of a day ("YYYY-MM-DD"), in order.
  virtual std::vector<Entry> Day(std::string_view date) = 0;
  // Every operation in these states, oldest first.
  virtual std::vector<Entry> InStates(std::initializer_list<PrintState> states) = 0;
  // Whether an accepted cancellation of this entry's operation is in the journal.
  virtual bool CancelledSince(const Entry& entry) = 0;
};

}  // namespace journal
