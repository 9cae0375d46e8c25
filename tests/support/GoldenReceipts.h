#pragma once

#include <string>
#include <vector>

#include "TestSupport.h"
#include "receipt/ReceiptBuilder.h"

// The merchant and the four receipts whose bytes are kept under tests/golden.
namespace testsupport {

inline shell::MerchantSettings GoldenSettings() {
  shell::MerchantSettings s;
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
  receipt::ReceiptInput use{ReceiptKind::VoucherUse, "20241205143015", "1234567890123", K("Mr.KUMO이용권"),
                            K("로드 이용권 1만원"), 9091, 909, 10000, "A0000123", K("이용해 주셔서 감사합니다."),
                            K("잔액 : 5,000원"), "", "", ""};
  receipt::ReceiptInput cancel = use;
  cancel.Kind = ReceiptKind::VoucherCancellation;
  cancel.TransactionDateTime = "20241206090000";
  cancel.VoucherTypeName = K("선발금");
  cancel.ApprovalNumber = "A0000124";
  cancel.OriginalDate = "20241205";
  // The cash-card kinds get voucher texts too: they must not be printed.
  receipt::ReceiptInput approval{ReceiptKind::CashCardApproval, "20241205150000", "9876543210123", K("무시"),
                                 K("무시"), 45455, 4545, 50000, "C0000001", K("큐비캐쉬 잔액 : 150,000원"), "", "",
                                 "", ""};
  receipt::ReceiptInput cardCancel = approval;
  cardCancel.Kind = ReceiptKind::CashCardCancellation;
  cardCancel.TransactionDateTime = "20241206100000";
  cardCancel.ApprovalNumber = "C0000002";
  cardCancel.MessageLine1 = K("큐비캐쉬 잔액 : 200,000원");
  cardCancel.OriginalDate = "20241205";
  return {{"voucher-use", use}, {"voucher-cancel", cancel}, {"cashcard-approval", approval},
          {"cashcard-cancel", cardCancel}};
}

inline std::string GoldenBytes(const std::string& file) {
  return ReadFile(std::string(VEK_TEST_DATA_DIR) + "/golden/" + file);
}

}  // namespace testsupport
