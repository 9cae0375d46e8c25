// Round trips through the stand-in module and the payment service simulator on
// loopback: p50 and p99 of 1,000 exchanges of each operation, then the simulator's
// throughput with 20 clients at once.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "payment/Reply.h"
#include "payment/ReplyFields.h"
#include "payment/Requests.h"
#include "tests/support/ServiceFixture.h"

using Clock = std::chrono::steady_clock;

namespace {

void Report(const char* name, std::vector<double>& us) {
  std::sort(us.begin(), us.end());
  std::printf("%-26s p50 %7.0f us   p99 %7.0f us   (%zu exchanges)\n", name, us[us.size() / 2],
              us[us.size() * 99 / 100], us.size());
}

}  // namespace

int main() {
  testsupport::TempDir dir;
  testsupport::PaySimProcess server(dir.dir() + "paysim.db", testsupport::FreePort(), testsupport::FreePort());
  const testsupport::Module module;
  const int port = server.Port();
  const payment::TerminalIdentity terminal{"BENCH", "1234567890"};
  const auto timeOne = [&](const std::string& request, std::vector<double>& out) {
    const auto start = Clock::now();
    const std::string reply = module.Call(request, port).second;
    out.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    return std::string(payment::CutPayload(reply));
  };
  std::vector<double> inquiry, use, cancel, approval, cardCancel;
  for (int i = 0; i < 1000; ++i) {
    timeOne(payment::BuildVoucherInquiryRequest(terminal, "1000000000003"), inquiry);
    const auto used = payment::ReadVoucherUseReply(
        timeOne(payment::BuildVoucherUseRequest(terminal, "1000000000003", payment::SplitAmount(10)), use));
    const std::string day = used.TransactionDateTime.substr(0, 8);
    timeOne(payment::BuildVoucherCancelRequest(terminal, "1000000000003", {used.ApprovalNumber, day},
                                               payment::SplitAmount(10)),
            cancel);
    const auto approved = payment::ReadCashCardApprovalReply(
        timeOne(payment::BuildCashCardApprovalRequest(terminal, "9000000000001", payment::SplitAmount(10)), approval));
    const std::string cardDay = approved.TransactionDateTime.substr(0, 8);
    timeOne(payment::BuildCashCardCancelRequest(terminal, "9000000000001", {approved.ApprovalNumber, cardDay},
                                                payment::SplitAmount(10)),
            cardCancel);
  }
  Report("voucher inquiry (9100)", inquiry);
  Report("voucher use (9000)", use);
  Report("voucher cancellation (9002)", cancel);
  Report("cash-card approval (9300)", approval);
  Report("cash-card cancellation (9302)", cardCancel);

  std::atomic<long> done{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> clients;
  for (int c = 0; c < 20; ++c)
    clients.emplace_back([&] {
      while (!stop) {
        module.Call(payment::BuildVoucherInquiryRequest(terminal, "1000000000002"), port);
        ++done;
      }
    });
  std::this_thread::sleep_for(std::chrono::seconds(3));
  stop = true;
  for (auto& t : clients) t.join();
  std::printf("20 clients at once, inquiries: %.0f exchanges/s\n", done.load() / 3.0);

  return 0;
}
