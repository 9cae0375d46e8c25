// Round trips through the stand-in module and the payment service simulator on
// loopback: p50 and p99 of 1,000 exchanges of each operation, then the simulator's
// throughput with 20 clients at once.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "payment/Reply.h"
#include "payment/ReplyFields.h"
#include "payment/Requests.h"

using Clock = std::chrono::steady_clock;
using Entry = unsigned char (*)(const char*, int, char*, char*);

namespace {

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t size = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  close(fd);
  return ntohs(a.sin_port);
}

std::string Call(Entry entry, int port, const std::string& request) {
  char in[1025] = {};
  char out[1025] = {};
  request.copy(in, 1024);
  entry("127.0.0.1", port, in, out);
  return out;
}

void Report(const char* name, std::vector<double>& us) {
  std::sort(us.begin(), us.end());
  std::printf("%-26s p50 %7.0f us   p99 %7.0f us   (%zu exchanges)\n", name, us[us.size() / 2],
              us[us.size() * 99 / 100], us.size());
}

}  // namespace

int main() {
  const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
  const std::string dir = std::filesystem::temp_directory_path() / ("vek-roundtrip-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const int port = FreePort();
  const pid_t server = fork();
  if (server == 0) {
    const std::string db = dir + "/paysim.db", p = std::to_string(port), h = std::to_string(FreePort());
    execl((bin + "/paysim").c_str(), "paysim", "--db", db.c_str(), "--port", p.c_str(), "--http-port", h.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  void* module = dlopen((bin + "/VEKDLL.so").c_str(), RTLD_NOW);
  const auto entry = reinterpret_cast<Entry>(dlsym(module, "VEKDataProcPos"));

  const payment::TerminalIdentity terminal{"BENCH", "1234567890"};
  const auto timeOne = [&](const std::string& request, std::vector<double>& out) {
    const auto start = Clock::now();
    const std::string reply = Call(entry, port, request);
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
        Call(entry, port, payment::BuildVoucherInquiryRequest(terminal, "1000000000002"));
        ++done;
      }
    });
  std::this_thread::sleep_for(std::chrono::seconds(3));
  stop = true;
  for (auto& t : clients) t.join();
  std::printf("20 clients at once, inquiries: %.0f exchanges/s\n", done.load() / 3.0);

  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  std::filesystem::remove_all(dir);
  return 0;
}
