#pragma once

#include <string>
#include <vector>

#include "receipt/ReceiptLines.h"

// How each output route frames a receipt, as the list of writes it makes in order.
// The routes stop at the first write that fails, so the writes are kept apart.
namespace receipt {

// Serial route: a line holding ESC, FS, GS or LF goes unchanged, any other line
// gets one LF. One write per line.
std::vector<std::string> SerialRouteWrites(const ReceiptLines& lines);

// Printer-port route: a line holding ESC, FS or GS is held back, followed by a NUL,
// until the next text line, which is written behind it and ends in CR LF. Lines
// still held at the end are written with a CR LF of their own.
std::vector<std::string> PrinterPortWrites(const ReceiptLines& lines);

}  // namespace receipt
