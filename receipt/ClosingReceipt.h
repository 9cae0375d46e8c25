#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "receipt/ReceiptBuilder.h"
#include "receipt/ReceiptLines.h"
#include "settings/MerchantSettings.h"

// The day's closing receipt: what the counter took, kind by kind, and what is
// still open (receipts owed, outcomes unknown, outcomes the operator settled).
namespace receipt {

struct CountAndAmount {
  int Count = 0;
  std::int64_t Amount = 0;  // a day's total may pass 32 bits
};

// An outcome the terminal never learnt, settled by the operator after checking
// with the service.
struct SettledOperation {
  std::string At{};  // the operation, "YYYY-MM-DD hh:mm:ss"
  ReceiptKind Kind = ReceiptKind::VoucherUse;
  std::int32_t Total = 0;
  bool Charged = false;       // the operator's finding
  std::string SettledAt{};    // when it was settled, "YYYY-MM-DD hh:mm:ss"
};

// The four kinds in the order the closing lists them.
inline constexpr std::array<ReceiptKind, 4> kClosingKinds{ReceiptKind::VoucherUse, ReceiptKind::VoucherCancellation,
                                                          ReceiptKind::CashCardApproval,
                                                          ReceiptKind::CashCardCancellation};

// A day's figures. Accepted and Net count what the service accepted; what the
// operator settled is told apart, as their finding.
struct ClosingFigures {
  std::array<CountAndAmount, kClosingKinds.size()> Accepted{};  // in the order of kClosingKinds
  std::int64_t Net = 0;  // uses and approvals less cancellations
  CountAndAmount Owed{};      // accepted, receipt never printed
  CountAndAmount Unknown{};   // outcome never learnt, not settled
  CountAndAmount SettledCharged{};
  CountAndAmount SettledNotCharged{};
  std::vector<SettledOperation> Settled{};  // in the order of the day
  std::string FirstApproval{};
  std::string LastApproval{};
};

struct ClosingInput {
  ClosingFigures Figures{};
  std::string Date{};      // the day closed, "YYYY-MM-DD"
  std::string ClosedAt{};  // "YYYY-MM-DD hh:mm:ss"
  int PreviousClosings = 0;  // of the same day: a later closing is marked as such
};

// The closing's lines in the receipts' style (42 columns, CP949; figures up to 99,999
// operations and 99,999,999,999 won keep to them), framed for a
// route as the receipts are.
ReceiptLines ComposeClosingLines(const ClosingInput& input, const settings::MerchantSettings& settings,
                                 std::string_view thousandsSeparator);

// "이용권 사용", "이용권 취소", "큐비캐쉬 승인", "큐비캐쉬 취소"; "?" for another kind.
std::string OperationName(ReceiptKind kind);

}  // namespace receipt
