#include "DayClosing.h"

namespace journal {
namespace {

void Add(receipt::CountAndAmount& figure, std::int32_t amount) {
  ++figure.Count;
  figure.Amount += amount;
}

bool Cancellation(receipt::ReceiptKind kind) {
  return kind == receipt::ReceiptKind::VoucherCancellation || kind == receipt::ReceiptKind::CashCardCancellation;
}

}  // namespace

receipt::ClosingFigures DayClosing(const std::vector<Entry>& day) {
  receipt::ClosingFigures f;
  for (const Entry& e : day) {
    if (OutcomeUnknown(e.Printed)) {
      Add(f.Unknown, e.Total);
      continue;
    }
    if (Settled(e.Printed)) {
      const bool charged = e.Printed == PrintState::SettledCharged;
      Add(charged ? f.SettledCharged : f.SettledNotCharged, e.Total);
      f.Settled.push_back({.At = e.At, .Kind = e.Kind, .Total = e.Total, .Charged = charged, .SettledAt = e.SettledAt});
      continue;
    }
    if (!Accepted(e.Printed)) continue;  // a state this build doesn't know: no figure of the service's
    for (std::size_t k = 0; k < receipt::kClosingKinds.size(); ++k)
      if (receipt::kClosingKinds[k] == e.Kind) {
        Add(f.Accepted[k], e.Total);
        f.Net += Cancellation(e.Kind) ? -std::int64_t{e.Total} : e.Total;
      }
    if (Owed(e.Printed)) Add(f.Owed, e.Total);
    if (!e.ApprovalNumber.empty()) {
      if (f.FirstApproval.empty()) f.FirstApproval = e.ApprovalNumber;
      f.LastApproval = e.ApprovalNumber;
    }
  }
  return f;
}

receipt::ReceiptLines CloseDay(Journal& journal, std::string_view date, std::string_view closedAt,
                               const settings::MerchantSettings& settings, std::string_view thousandsSeparator) {
  const receipt::ClosingInput input{.Figures = DayClosing(journal.Day(date)),
                                    .Date = std::string(date),
                                    .ClosedAt = std::string(closedAt),
                                    .PreviousClosings = journal.Closings(date)};
  receipt::ReceiptLines lines = receipt::ComposeClosingLines(input, settings, thousandsSeparator);
  journal.RecordClosing(date, closedAt);
  return lines;
}

}  // namespace journal
