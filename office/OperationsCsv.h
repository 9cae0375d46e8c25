#pragma once

#include <string>
#include <string_view>

#include "office/ChainDay.h"

// A day's operations for a spreadsheet: UTF-8 with a byte order mark (so that
// spreadsheet programs read the Korean labels as UTF-8), every text quoted, lines
// ended with CR LF. A text that a spreadsheet would take for a formula (=, +, -, @,
// a tab or CR first) gets a leading apostrophe: a row from a counter must never
// run as a formula on the office's desk.
namespace office {

// The byte order mark and the heading line.
std::string CsvHeading();
std::string CsvLine(const Operation& op);
// One text field, quoted and neutralised.
std::string CsvText(std::string_view text);

}  // namespace office
