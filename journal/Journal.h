#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "receipt/ReceiptBuilder.h"
#include "receipt/ReceiptLines.h"

// The terminal's journal: every accepted use, cancellation, approval and card
// cancellation with its receipt, committed before the receipt goes to the printer,
// so that no receipt is lost to a printer that fails or a terminal that dies: it
// can be printed again. One SQLite file, readable by its owner only (on Windows the
// folder's access rules apply).
namespace journal {

enum class PrintState : int {
  Pending = 0,  // recorded, not (yet) printed: the terminal died on the way to the paper
  Printed = 1,
  Failed = 2,   // the printer failed and the operator was told
};

struct Entry {
  std::int64_t Id = 0;
  std::string At{};  // local time, "YYYY-MM-DD hh:mm:ss"
  receipt::ReceiptKind Kind = receipt::ReceiptKind::VoucherUse;
  std::string Number{};  // CP949, as typed
  std::int32_t Total = 0;
  std::int32_t Net = 0;
  std::int32_t Tax = 0;
  std::string ApprovalNumber{};
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
  // Opens the file, creating it private to its owner, and removes the rows
  // older than `retentionDays`. Raises JournalError: a file that can't be opened or
  // created, is read-only or isn't a journal. Nothing where this build keeps no
  // journal.
  static std::unique_ptr<Journal> Open(const std::string& path, int retentionDays);
  virtual ~Journal() = default;

  // Committed durably before it returns; the entry's Id and Printed are ignored.
  virtual std::int64_t Record(const Entry& entry) = 0;
  virtual void SetPrinted(std::int64_t id, PrintState state) = 0;
  virtual std::optional<Entry> Last() = 0;
  // The latest accepted operation with this approval number.
  virtual std::optional<Entry> ByApproval(std::string_view approvalNumber) = 0;
  // The operations of a day ("YYYY-MM-DD"), in order.
  virtual std::vector<Entry> Day(std::string_view date) = 0;
};

}  // namespace journal
