// The pure core of a transaction: building each request, cutting a reply and
// reading its fields, composing and framing each receipt.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "journal/ReceiptDesk.h"
#include "payment/Reply.h"
#include "payment/ReplyFields.h"
#include "payment/Requests.h"
#include "platform/text/Cp949.h"
#include "receipt/ReceiptBuilder.h"
#include "receipt/ReceiptFraming.h"
#include "tests/support/GoldenReceipts.h"
#include "tests/support/ScriptedPaymentModule.h"

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

// The same accepted use with its receipt committed to the journal (write-ahead log,
// synced) before a printer that takes it at once: what the journal adds to each
// accepted operation. Each iteration is timed for the percentiles.
void UseWithReceipt(benchmark::State& state, bool journaled) {
  const testsupport::TempDir dir;  // on this machine's disk
  settings::MerchantSettings settings = testsupport::GoldenSettings();
  settings.JournalFile = journaled ? dir.dir() + "journal.db" : dir.dir() + "no-such-folder/journal.db";
  journal::ReceiptDesk desk(settings);
  const testsupport::GoldenOperation use = testsupport::GoldenOperations()[0];
  testsupport::ScriptedPaymentModule module;
  module.Answers(true, use.reply);
  const journal::Print paper = [](const receipt::ReceiptLines& lines) { benchmark::DoNotOptimize(lines.size()); };
  std::vector<double> millis;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    module.Requests.clear();
    const payment::OperationOutcome outcome =
        payment::VoucherOperation(payment::VoucherMode::Use, use.entries, {settings, module, ","});
    if (journaled)
      benchmark::DoNotOptimize(desk.RecordAndPrint(*outcome.Accepted, *outcome.Receipt, 0, paper));
    else
      paper(*outcome.Receipt);
    millis.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(millis.begin(), millis.end());
  const auto at = [&](double q) { return millis[static_cast<std::size_t>(q * static_cast<double>(millis.size() - 1))]; };
  state.counters["p50_ms"] = at(0.50);
  state.counters["p99_ms"] = at(0.99);
}
void BM_UseWithReceipt(benchmark::State& state) { UseWithReceipt(state, false); }
void BM_UseWithReceiptJournaled(benchmark::State& state) { UseWithReceipt(state, true); }

}  // namespace

BENCHMARK(BM_VoucherInquiryRequest);
BENCHMARK(BM_VoucherUseRequest);
BENCHMARK(BM_VoucherCancelRequest);
BENCHMARK(BM_CashCardApprovalRequest);
BENCHMARK(BM_CashCardCancelRequest);
BENCHMARK(BM_CutReplyAndReadUseFields);
BENCHMARK(BM_ComposeReceipt)->Arg(1)->Arg(2)->Arg(11)->Arg(12);
BENCHMARK(BM_VoucherUseOperation);
BENCHMARK(BM_UseWithReceipt)->Iterations(1000);
BENCHMARK(BM_UseWithReceiptJournaled)->Iterations(1000);
