// golden-operation N DIR: makes the scripted module in DIR answer golden operation N
// (0 voucher use, 1 voucher cancellation, 2 cash-card approval, 3 cash-card
// cancellation) and prints the vek command that asks for it, one argument a line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/text/Cp949.h"
#include "tests/support/GoldenReceipts.h"
#include "tests/support/TestSupport.h"

int main(int argc, char** argv) {
  const int n = argc == 3 ? std::atoi(argv[1]) : -1;
  const auto operations = testsupport::GoldenOperations();
  if (n < 0 || n >= static_cast<int>(operations.size())) {
    std::fprintf(stderr, "usage: golden-operation 0..3 DIR\n");
    return 2;
  }
  const testsupport::GoldenOperation& operation = operations[static_cast<std::size_t>(n)];
  testsupport::ScriptModuleAnswer(argv[2], 1, operation.reply);
  const char* commands[] = {"use", "cancel", "card-approve", "card-cancel"};
  const payment::EntryTexts& e = operation.entries;
  std::string lines = std::string(commands[n]) + "\n" + e.Number + "\n" + e.Amount + "\n";
  if (n % 2 == 1) lines += e.OriginalDate + "\n" + e.OriginalApproval + "\n";
  std::fputs(platform::Cp949ToUtf8(lines).c_str(), stdout);
  return 0;
}
