#include "platform/system/RegionalSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <string_view>

#include "platform/text/Cp949.h"

namespace platform {

namespace {

// The locale the environment names for numbers, as setlocale would pick it.
std::string NumericLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"})
    if (const char* name = std::getenv(variable); name != nullptr && *name != '\0') return name;
  return "C";
}

}  // namespace

std::string ThousandsSeparator() {
  // Its character set too, to read the separator's bytes.
  const std::string name = NumericLocaleName();
  const locale_t locale = newlocale(LC_NUMERIC_MASK | LC_CTYPE_MASK, name.c_str(), static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return ",";  // the named locale isn't installed
  const std::string separator = nl_langinfo_l(THOUSEP, locale);
  const std::string codeset = nl_langinfo_l(CODESET, locale);  // a copy: freelocale frees it
  freelocale(locale);

  bool ascii = true;
  for (const char c : separator) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  std::string cp949;
  if (ascii) cp949 = separator;
  else if (codeset == "UTF-8") cp949 = Utf8ToCp949(separator);
  return cp949.empty() || cp949.find('?') != std::string::npos ? "," : cp949;
}

}  // namespace platform
