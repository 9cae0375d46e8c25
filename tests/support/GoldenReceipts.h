#pragma once

#include <string>
#include <vector>

#include "TestSupport.h"
#include "payment/Operations.h"
#include "receipt/ClosingReceipt.h"
#include "receipt/ReceiptBuilder.h"

// The merchant, the four receipts and the closing whose bytes are kept under
// tests/golden.
namespace testsupport {

inline settings::MerchantSettings GoldenSettings() {
  settings::MerchantSettings s;
  s.TerminalId = "1004";
  s.MerchantName = K("플레노르 카페");
  s.BusinessNumber = "1234567890";
  s.Telephone = "02-123-4567";
  s.MerchantAddress = K("서울시 강남구 테헤란로 1");
  return s;
}

struct GoldenCase {
  const char* name;  // tests/golden/receipt-<name>.lpt and .serial
  receipt::ReceiptInput input;
};

inline std::vector<GoldenCase> GoldenCases() {
  using receipt::ReceiptKind;
  const receipt::ReceiptInput use{
      .Kind = ReceiptKind::VoucherUse,
      .TransactionDateTime = "20241205143015",
      .InstrumentNumber = "1234567890123",
      .VoucherTypeName = K("Mr.KUMO이용권"),
      .VoucherName = K("로드 이용권 1만원"),
      .NetAmount = 9091,
      .TaxAmount = 909,
      .TotalAmount = 10000,
      .ApprovalNumber = "A0000123",
      .Messages = {.Line1 = K("이용해 주셔서 감사합니다."), .Line2 = K("잔액 : 5,000원")},
  };
  receipt::ReceiptInput cancel = use;
  cancel.Kind = ReceiptKind::VoucherCancellation;
  cancel.TransactionDateTime = "20241206090000";
  cancel.VoucherTypeName = K("선발금");
  cancel.ApprovalNumber = "A0000124";
  cancel.OriginalDate = "20241205";
  // The cash-card kinds get voucher texts too: they must not be printed.
  const receipt::ReceiptInput approval{
      .Kind = ReceiptKind::CashCardApproval,
      .TransactionDateTime = "20241205150000",
      .InstrumentNumber = "9876543210123",
      .VoucherTypeName = K("무시"),
      .VoucherName = K("무시"),
      .NetAmount = 45455,
      .TaxAmount = 4545,
      .TotalAmount = 50000,
      .ApprovalNumber = "C0000001",
      .Messages = {.Line1 = K("큐비캐쉬 잔액 : 150,000원")},
  };
  receipt::ReceiptInput cardCancel = approval;
  cardCancel.Kind = ReceiptKind::CashCardCancellation;
  cardCancel.TransactionDateTime = "20241206100000";
  cardCancel.ApprovalNumber = "C0000002";
  cardCancel.Messages.Line1 = K("큐비캐쉬 잔액 : 200,000원");
  cardCancel.OriginalDate = "20241205";
  return {{"voucher-use", use}, {"voucher-cancel", cancel}, {"cashcard-approval", approval},
          {"cashcard-cancel", cardCancel}};
}

// The entry texts and the module's reply of the operation that prints each golden
// receipt, in the order of GoldenCases.
struct GoldenOperation {
  payment::EntryTexts entries;
  std::string reply;  // framed, accepted
};

inline std::vector<GoldenOperation> GoldenOperations() {
  std::vector<GoldenOperation> operations;
  for (const auto& [name, in] : GoldenCases()) {
    const bool cancel = !in.OriginalDate.empty();
    const bool voucher = in.Kind == receipt::ReceiptKind::VoucherUse || in.Kind == receipt::ReceiptKind::VoucherCancellation;
    std::string reply = FramedReply({{1, "0000"},
                                     {5, K("  승인되었습니다.  ")},
                                     {125, in.ApprovalNumber},
                                     {cancel ? 145 : 159, "20990101000000"},  // the other kind's date field
                                     {cancel ? 159 : 145, in.TransactionDateTime},
                                     {302, in.Messages.Line2},
                                     {332, in.Messages.Line3},
                                     {362, in.Messages.Line4}});
    if (voucher) {
      const std::size_t type = cancel ? 173 : 159;
      reply.replace(type, 4, in.Kind == receipt::ReceiptKind::VoucherUse ? "CT03" : "CT01");
      reply.replace(type + 4, in.VoucherName.size(), in.VoucherName);
    }
    // A cancellation's name field runs to 276: the first line starts after it.
    const std::string line1 = (voucher && cancel ? "     " : "") + in.Messages.Line1;
    reply.replace(272, line1.size(), line1);
    operations.push_back({{.Number = in.InstrumentNumber,
                           .Amount = std::to_string(in.TotalAmount),
                           .OriginalDate = in.OriginalDate,
                           .OriginalApproval = cancel ? "ORIGINAL" : ""},
                          std::move(reply)});
  }
  return operations;
}

inline std::string GoldenBytes(const std::string& file) {
  return ReadFile(std::string(VEK_TEST_DATA_DIR) + "/golden/" + file);
}

}  // namespace testsupport

namespace testsupport {

// The day's closing kept under tests/golden/closing.lpt and .serial: every figure
// in use, one outcome the operator settled each way.
inline receipt::ClosingInput GoldenClosing() {
  using receipt::ReceiptKind;
  receipt::ClosingInput in;
  in.Date = "2024-12-05";
  in.ClosedAt = "2024-12-05 21:30:00";
  receipt::ClosingFigures& f = in.Figures;
  f.Accepted = {{{3, 25000}, {1, 10000}, {2, 1250000}, {0, 0}}};
  f.Net = 1265000;
  f.Owed = {1, 5000};
  f.Unknown = {1, 7000};
  f.SettledCharged = {1, 3000};
  f.SettledNotCharged = {1, 12000};
  f.Settled = {{"2024-12-05 11:02:03", ReceiptKind::VoucherUse, 3000, true, "2024-12-05 11:20:45"},
               {"2024-12-05 16:40:00", ReceiptKind::CashCardApproval, 12000, false, "2024-12-05 17:05:09"}};
  f.FirstApproval = "A0000123";
  f.LastApproval = "C0000009";
  return in;
}

}  // namespace testsupport
