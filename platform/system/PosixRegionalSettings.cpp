#include "platform/RegionalSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <string_view>

#include "platform/Cp949.h"

namespace platform {

std::string ThousandsSeparator() {
  const locale_t locale = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return ",";  // the named locale isn't installed
  const std::string separator = nl_langinfo_l(THOUSEP, locale);
  const std::string_view codeset = nl_langinfo_l(CODESET, locale);
  freelocale(locale);

  bool ascii = true;
  for (const char c : separator) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  std::string cp949;
  if (ascii) cp949 = separator;
  else if (codeset == "UTF-8") cp949 = Utf8ToCp949(separator);
  return cp949.empty() || cp949.find('?') != std::string::npos ? "," : cp949;
}

}  // namespace platform
