// Any bytes to the receipt printer, in two pieces: it never crashes, never loses
// its way for good, and every printed row fits the roll.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/receipt-viewer/EscPosPrinter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  viewer::EscPosPrinter printer;
  printer.Feed(bytes.substr(0, size / 2));
  printer.Feed(bytes.substr(size / 2));
  auto receipts = printer.TakeCut();
  receipts.push_back(printer.TearOff());
  for (const auto& receipt : receipts)
    for (const auto& line : receipt)
      if (line.Text.size() > 3 * viewer::EscPosPrinter::kColumns) std::abort();  // UTF-8: 3 bytes a column at most
  (void)printer.TakeNotes();
  return 0;
}
