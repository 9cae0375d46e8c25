#include <windows.h>

#include "platform/system/RegionalSettings.h"

namespace platform {

std::string ThousandsSeparator() {
  wchar_t separator[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8) <= 1) return ",";
  char cp949[16] = {};
  BOOL lost = FALSE;
  const int size = WideCharToMultiByte(949, WC_NO_BEST_FIT_CHARS, separator, -1, cp949, sizeof cp949, nullptr, &lost);
  return size <= 1 || lost ? std::string(",") : std::string(cp949);
}

}  // namespace platform
