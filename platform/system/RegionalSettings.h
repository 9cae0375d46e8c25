#pragma once

#include <string>

namespace platform {

// The thousands separator of the system's regional settings (Linux: the locale the
// environment names; Windows: the user's), in CP949: what amounts are grouped with
// on the receipts of the window and of vek alike. "," where the system gives none,
// or one that code page 949 can't write.
std::string ThousandsSeparator();

}  // namespace platform
