// Any bytes to the receipt printer, in two pieces: it never crashes, never loses
// its way for good, every printed row fits the roll, and every status answer is a
// status byte, at most one per three bytes fed.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/receipt-viewer/EscPosPrinter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  viewer::EscPosPrinter printer;
  if (size > 0) printer.SetCondition(static_cast<viewer::PrinterCondition>(data[0] % 5));
  printer.Feed(bytes.substr(0, size / 2));
  printer.Feed(bytes.substr(size / 2));
  const std::string answers = printer.TakeAnswers();
  if (answers.size() > size / 3) std::abort();
  for (const char c : answers)
    if ((static_cast<unsigned char>(c) & 0x93) != 0x12) std::abort();
  auto receipts = printer.TakeCut();
  receipts.push_back(printer.TearOff());
  for (const auto& receipt : receipts)
    for (const auto& line : receipt)
      if (line.Text.size() > 3 * viewer::EscPosPrinter::kColumns) std::abort();  // UTF-8: 3 bytes a column at most
  (void)printer.TakeNotes();
  return 0;
}
