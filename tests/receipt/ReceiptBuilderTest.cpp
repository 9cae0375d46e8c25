#include "receipt/ClosingReceipt.h"
#include "receipt/ReceiptBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "receipt/ReceiptFraming.h"
#include "tests/support/GoldenReceipts.h"

using namespace receipt;
using namespace std::string_literals;
using testsupport::K;

namespace {

using testsupport::GoldenCases;
settings::MerchantSettings Settings() { return testsupport::GoldenSettings(); }

std::string Concat(const std::vector<std::string>& writes) {
  std::string out;
  for (const auto& w : writes) out += w;
  return out;
}

std::string Golden(const std::string& file) { return testsupport::GoldenBytes(file); }

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
  const ReceiptLines lines = ComposeReceiptLines(input, settings::MerchantSettings{}, ",");
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

TEST(ClosingReceipt, MatchesItsGoldenBytesOnBothRoutes) {
  const ReceiptLines lines = ComposeClosingLines(testsupport::GoldenClosing(), Settings(), ",");
  EXPECT_EQ(Concat(SerialRouteWrites(lines)), Golden("closing.serial"));
  EXPECT_EQ(Concat(PrinterPortWrites(lines)), Golden("closing.lpt"));
}

TEST(ClosingReceipt, EveryTextLineKeepsToFortyTwoColumns) {
  ClosingInput in = testsupport::GoldenClosing();
  // The widest figures it is laid out for: totals past 32 bits.
  in.Figures.Accepted[2] = {99999, 99999999999};
  in.Figures.Net = -99999999999;
  in.Figures.Settled[0].Total = -2147483647 - 1;
  in.Figures.FirstApproval = std::string(20, '9');
  for (const std::string& line : ComposeClosingLines(in, Settings(), ","))
    EXPECT_LE(line.size(), 42u) << line;
  const ReceiptLines lines = ComposeClosingLines(in, Settings(), ",");
  EXPECT_NE(std::find(lines.begin(), lines.end(), K("순 합계") + std::string(18, ' ') + "-99,999,999,999" + K("원")),
            lines.end());
}

TEST(ClosingReceipt, ALaterClosingOfTheDayIsMarkedWithItsNumber) {
  ClosingInput in = testsupport::GoldenClosing();
  const ReceiptLines first = ComposeClosingLines(in, Settings(), ",");
  in.PreviousClosings = 1;
  const ReceiptLines second = ComposeClosingLines(in, Settings(), ",");
  ASSERT_EQ(second.size(), first.size() + 1);
  EXPECT_EQ(second[3], std::string(15, ' ') + K("(2번째 마감)"));
  EXPECT_TRUE(std::equal(first.begin() + 3, first.end(), second.begin() + 4));
  in.PreviousClosings = 2;
  EXPECT_EQ(ComposeClosingLines(in, Settings(), ",")[3], std::string(15, ' ') + K("(3번째 마감)"));
}

TEST(ClosingReceipt, SettledOperationsAreMarkedAsTheOperatorsFinding) {
  const ReceiptLines lines = ComposeClosingLines(testsupport::GoldenClosing(), Settings(), ".");
  const auto at = std::find(lines.begin(), lines.end(), K("  (운영자 확인 11:20:45: 결제됨)"));
  ASSERT_NE(at, lines.end());
  EXPECT_EQ(*(at - 1), K("  11:02:03 이용권 사용") + std::string(13, ' ') + "3.000" + K("원"));
  EXPECT_EQ(*(at + 2), K("  (운영자 확인 17:05:09: 결제 안 됨)"));
  EXPECT_EQ(lines.size(), 32u);  // with no settled operation: 4 lines fewer
  ClosingInput none = testsupport::GoldenClosing();
  none.Figures.Settled.clear();
  EXPECT_EQ(ComposeClosingLines(none, Settings(), ",").size(), 28u);
}
