// The pure core of a transaction: building each request, cutting a reply and
// reading its fields, composing and framing each receipt.
#include <benchmark/benchmark.h>

#include "payment/Reply.h"
#include "payment/ReplyFields.h"
#include "payment/Requests.h"
#include "platform/Cp949.h"
#include "receipt/ReceiptBuilder.h"
#include "receipt/ReceiptFraming.h"
#include "GoldenReceipts.h"
#include "ScriptedPaymentModule.h"

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
  return testsupport::FramedReply({{1, "0000"},
                                   {5, "approved"},
                                   {125, "A0000123"},
                                   {145, "20241205143015"},
                                   {159, "CT03"},
                                   {163, "voucher name"},
                                   {272, "thank you"}});
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
  const settings::MerchantSettings settings = testsupport::GoldenSettings();
  receipt::ReceiptInput input = testsupport::GoldenCases()[1].input;
  input.Kind = static_cast<receipt::ReceiptKind>(state.range(0));
  for (auto _ : state) {
    const receipt::ReceiptLines lines = receipt::ComposeReceiptLines(input, settings, ",");
    benchmark::DoNotOptimize(receipt::SerialRouteWrites(lines));
    benchmark::DoNotOptimize(receipt::PrinterPortWrites(lines));
  }
}

// A whole accepted use, from the entry texts to the receipt lines, with the module
// answering at once: what the terminal adds to the module's own time.
void BM_VoucherUseOperation(benchmark::State& state) {
  const settings::MerchantSettings settings = testsupport::GoldenSettings();
  const testsupport::GoldenOperation use = testsupport::GoldenOperations()[0];
  testsupport::ScriptedPaymentModule module;
  module.Answers(true, use.reply);
  for (auto _ : state) {
    module.Requests.clear();
    benchmark::DoNotOptimize(payment::VoucherOperation(payment::VoucherMode::Use, use.entries, {settings, module, ","}));
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
BENCHMARK(BM_VoucherUseOperation);
