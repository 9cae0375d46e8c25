// The pure core of a transaction: building each request, cutting a reply and
// reading its fields, composing and framing each receipt.
#include <benchmark/benchmark.h>

#include "payment/Reply.h"
#include "payment/ReplyFields.h"
#include "payment/Requests.h"
#include "platform/Cp949.h"
#include "receipt/ReceiptBuilder.h"
#include "receipt/ReceiptFraming.h"

namespace {

const payment::TerminalIdentity kTerminal{"1004", "1234567890"};
const payment::OriginalTransaction kOriginal{"A0000123", "20241205"};

void BM_VoucherInquiryRequest(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(payment::BuildVoucherInquiryRequest(kTerminal, "1234567890123"));
}
void BM_VoucherUseRequest(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(payment::BuildVoucherUseRequest(kTerminal, "1234567890123", payment::AmountsFromText("10000")));
}
void BM_VoucherCancelRequest(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(
        payment::BuildVoucherCancelRequest(kTerminal, "1234567890123", kOriginal, payment::AmountsFromText("10000")));
}
void BM_CashCardApprovalRequest(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(
        payment::BuildCashCardApprovalRequest(kTerminal, "9876543210123", payment::AmountsFromText("50000")));
}
void BM_CashCardCancelRequest(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(
        payment::BuildCashCardCancelRequest(kTerminal, "9876543210123", kOriginal, payment::AmountsFromText("50000")));
}

std::string UseReply() {
  std::string payload(391, ' ');
  const auto put = [&](std::size_t position, std::string_view text) { payload.replace(position - 1, text.size(), text); };
  put(1, "0000");
  put(5, "approved");
  put(125, "A0000123");
  put(145, "20241205143015");
  put(159, "CT03");
  put(163, "voucher name");
  put(272, "thank you");
  return "\x02" + payload + "\x03";
}

void BM_CutReplyAndReadUseFields(benchmark::State& state) {
  const std::string reply = UseReply();
  for (auto _ : state) {
    const std::string_view payload = payment::CutPayload(reply);
    benchmark::DoNotOptimize(payment::IsAccepted(payload));
    benchmark::DoNotOptimize(payment::MessageText(payload));
    benchmark::DoNotOptimize(payment::ReadVoucherUseReply(payload));
  }
}

void BM_ComposeReceipt(benchmark::State& state) {
  shell::MerchantSettings settings;
  settings.TerminalId = "1004";
  settings.MerchantName = platform::Utf8ToCp949("플레노르 카페");
  settings.BusinessNumber = "1234567890";
  settings.Telephone = "02-123-4567";
  settings.MerchantAddress = platform::Utf8ToCp949("서울시 강남구 테헤란로 1");
  receipt::ReceiptInput input{static_cast<receipt::ReceiptKind>(state.range(0)),
                              "20241205143015", "1234567890123", "type", "name", 9091, 909, 10000, "A0000123",
                              "line 1", "line 2", "", "", "20241205"};
  for (auto _ : state) {
    const receipt::ReceiptLines lines = receipt::ComposeReceiptLines(input, settings, ",");
    benchmark::DoNotOptimize(receipt::SerialRouteWrites(lines));
    benchmark::DoNotOptimize(receipt::PrinterPortWrites(lines));
  }
}

}  // namespace

BENCHMARK(BM_VoucherInquiryRequest);
BENCHMARK(BM_VoucherUseRequest);
BENCHMARK(BM_VoucherCancelRequest);
BENCHMARK(BM_CashCardApprovalRequest);
BENCHMARK(BM_CashCardCancelRequest);
BENCHMARK(BM_CutReplyAndReadUseFields);
BENCHMARK(BM_ComposeReceipt)->Arg(1)->Arg(2)->Arg(11)->Arg(12);
