#include "ReceiptFraming.h"

#include <string_view>

namespace receipt {
namespace {

bool Contains(std::string_view line, std::string_view controls) {
  return line.find_first_of(controls) != std::string_view::npos;
}

constexpr std::string_view kSerialControls{"\x1B\x1C\x1D\n", 4};
constexpr std::string_view kPrinterPortControls{"\x1B\x1C\x1D", 3};

}  // namespace

std::vector<std::string> SerialRouteWrites(const ReceiptLines& lines) {
  std::vector<std::string> writes;
  writes.reserve(lines.size());
  for (const std::string& line : lines)
    writes.push_back(Contains(line, kSerialControls) ? line : line + '\n');
  return writes;
}

std::vector<std::string> PrinterPortWrites(const ReceiptLines& lines) {
  std::vector<std::string> writes;
  std::string pending;
  for (const std::string& line : lines) {
    if (Contains(line, kPrinterPortControls)) {
      pending.append(line);
      pending += '\0';
      continue;
    }
    writes.push_back(pending + line + "\r\n");
    pending.clear();
  }
  if (!pending.empty()) writes.push_back(pending + "\r\n");
  return writes;
}

}  // namespace receipt
