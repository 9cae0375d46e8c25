#include "receipt/ReceiptBuilder.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "receipt/ReceiptFraming.h"

using namespace receipt;
using namespace std::string_literals;
using testsupport::K;

namespace {

shell::MerchantSettings Settings() {
  shell::MerchantSettings s;
  s.TerminalId = "1004";
  s.MerchantName = K("플레노르 카페");
  s.BusinessNumber = "1234567890";
  s.Telephone = "02-123-4567";
  s.MerchantAddress = K("서울시 강남구 테헤란로 1");
  return s;
}

// The four receipts whose bytes are kept under tests/golden.
struct GoldenCase {
  const char* name;
  ReceiptInput input;
};

std::vector<GoldenCase> GoldenCases() {
  ReceiptInput use{ReceiptKind::VoucherUse, "20241205143015", "1234567890123", K("Mr.KUMO이용권"),
                   K("로드 이용권 1만원"), 9091, 909, 10000, "A0000123", K("이용해 주셔서 감사합니다."),
                   K("잔액 : 5,000원"), "", "", ""};
  ReceiptInput cancel = use;
  cancel.Kind = ReceiptKind::VoucherCancellation;
  cancel.TransactionDateTime = "20241206090000";
  cancel.VoucherTypeName = K("선발금");
  cancel.ApprovalNumber = "A0000124";
  cancel.OriginalDate = "20241205";
  // The cash-card kinds get voucher texts too: they must not be printed.
  ReceiptInput approval{ReceiptKind::CashCardApproval, "20241205150000", "9876543210123", K("무시"), K("무시"),
                        45455, 4545, 50000, "C0000001", K("큐비캐쉬 잔액 : 150,000원"), "", "", "", ""};
  ReceiptInput cardCancel = approval;
  cardCancel.Kind = ReceiptKind::CashCardCancellation;
  cardCancel.TransactionDateTime = "20241206100000";
  cardCancel.ApprovalNumber = "C0000002";
  cardCancel.MessageLine1 = K("큐비캐쉬 잔액 : 200,000원");
  cardCancel.OriginalDate = "20241205";
  return {{"voucher-use", use}, {"voucher-cancel", cancel}, {"cashcard-approval", approval},
          {"cashcard-cancel", cardCancel}};
}

std::string Concat(const std::vector<std::string>& writes) {
  std::string out;
  for (const auto& w : writes) out += w;
  return out;
}

std::string Golden(const std::string& file) {
  return testsupport::ReadFile(std::string(VEK_TEST_DATA_DIR) + "/golden/" + file);
}

}  // namespace

TEST(ReceiptBuilder, FourReceiptsMatchTheirGoldenBytesOnBothRoutes) {
  for (const auto& [name, input] : GoldenCases()) {
    const ReceiptLines lines = ComposeReceiptLines(input, Settings(), ",");
    EXPECT_EQ(Concat(SerialRouteWrites(lines)), Golden(std::string("receipt-") + name + ".serial")) << name;
    EXPECT_EQ(Concat(PrinterPortWrites(lines)), Golden(std::string("receipt-") + name + ".lpt")) << name;
  }
}

TEST(ReceiptBuilder, LineCountsPerKind) {
  const auto cases = GoldenCases();
  const std::size_t expected[] = {31, 32, 29, 30};
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(ComposeReceiptLines(cases[i].input, Settings(), ",").size(), expected[i]) << cases[i].name;
}

TEST(ReceiptBuilder, AmountLinesAreFortyBytes) {
  const ReceiptLines lines = ComposeReceiptLines(GoldenCases()[0].input, Settings(), ",");
  EXPECT_EQ(lines[12], K("  세    금 : ") + std::string(22, ' ') + "909" + K("원"));
  EXPECT_EQ(lines[13], K("  합    계 : ") + std::string(19, ' ') + "10,000" + K("원"));
  EXPECT_EQ(lines[13].size(), 40u);
}

TEST(ReceiptBuilder, EmptyInputsLeaveLabelsAlone) {
  ReceiptInput input;
  input.Kind = ReceiptKind::VoucherCancellation;
  const ReceiptLines lines = ComposeReceiptLines(input, shell::MerchantSettings{}, ",");
  EXPECT_EQ(lines[5], K("단말기번호 : "));
  EXPECT_EQ(lines[6], K("거래  일시 : "));
  EXPECT_EQ(lines[7], K("원거래일시 : "));
  EXPECT_EQ(lines[22], "");  // the address line
  EXPECT_EQ(lines[24], "");  // first message line
}

TEST(ReceiptBuilder, UnknownKindHasNoTitleAndABarcodeLine) {
  ReceiptInput input;
  input.Kind = static_cast<ReceiptKind>(7);
  input.InstrumentNumber = "42";
  input.OriginalDate = "20240101";
  const ReceiptLines lines = ComposeReceiptLines(input, Settings(), ",");
  EXPECT_EQ(lines.size(), 29u);
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[7], K("바코드번호 : ") + "42");
}

TEST(ReceiptFraming, ControlLinesOnTheSerialRoute) {
  const ReceiptLines lines = {"", "\n", "text", "a\x1B" "b", "x\x1D", "with\nnewline", "\x1C"};
  EXPECT_EQ(SerialRouteWrites(lines),
            (std::vector<std::string>{"\n", "\n", "text\n", "a\x1B" "b", "x\x1D", "with\nnewline", "\x1C"}));
}

TEST(ReceiptFraming, ControlLinesOnThePrinterPortRoute) {
  using V = std::vector<std::string>;
  EXPECT_EQ(PrinterPortWrites({"", "\n", "with\nnewline"}), (V{"\r\n", "\n\r\n", "with\nnewline\r\n"}));
  // A line with ESC anywhere is held, with a NUL, in front of the next text line.
  EXPECT_EQ(PrinterPortWrites({"a\x1B" "b", "x\x1D", "text"}), (V{"a\x1B" "b\0x\x1D\0text\r\n"s}));
  EXPECT_EQ(PrinterPortWrites({"\x1B@", "\x1Bi\n"}), (V{"\x1B@\0\x1Bi\n\0\r\n"s}));
  EXPECT_EQ(PrinterPortWrites({}), V{});
}
