// module_call_bench [CALLS]: the time of one payment module call as the terminal
// makes it from the current folder (VEKDLL.so in process, or VEKDLL.dll through the
// module host; on Windows VEKDLL.dll in process): a first call on its own, then
// CALLS calls (default 1000). Prints "FIRST_MS P50_US P99_US" for
// bench/module-host.sh.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "payment/TerminalPaymentModule.h"

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (calls < 1) {
    std::fprintf(stderr, "usage: module_call_bench [CALLS]\n");
    return 2;
  }
  const auto module = payment::TerminalPaymentModule();
  const std::string request = "\x02PAIR\x1C" "9100\x1C" "BENCH               1000000000003\x03";
  const auto microseconds = [&] {
    const auto start = std::chrono::steady_clock::now();
    const auto answer = module->Call(request);
    const auto end = std::chrono::steady_clock::now();
    if (!answer || !answer->Result) {
      std::fprintf(stderr, "module_call_bench: the module gave no accepted answer\n");
      std::exit(1);
    }
    return std::chrono::duration<double, std::micro>(end - start).count();
  };
  const double first = microseconds();
  std::vector<double> us;
  for (int i = 0; i < calls; ++i) us.push_back(microseconds());
  std::sort(us.begin(), us.end());
  std::printf("%.1f %.0f %.0f\n", first / 1000, us[us.size() / 2], us[us.size() * 99 / 100]);
  return 0;
}
