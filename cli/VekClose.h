#pragma once

#include <optional>
#include <string>

#include "Vek.h"

// vek close: the day's closing, on the printer and on standard output.
namespace cli {

// The closing of a day (YYYYMMDD, today by default) from the journal, which it
// never creates: printed on the settings' printer and written to standard output
// (also when the printer fails); a later closing of the same day is marked as such.
VekResult RunClose(const std::optional<std::string>& date, const VekTerminal& terminal);

}  // namespace cli
