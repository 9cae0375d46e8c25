// The thousands separator the receipts of the window and of vek use: the one of the
// locale the environment names, in CP949, or "," where that can't be had.
#include "platform/system/RegionalSettings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <string>

#include "tests/support/TestSupport.h"

namespace {

// The environment's locale for the time of a test, from locales compiled into a
// folder of the test's own (LOCPATH).
class LocaleEnvironment {
 public:
  ~LocaleEnvironment() {
    unsetenv("LOCPATH");
    unsetenv("LC_ALL");
  }
  bool Compile(const std::string& name, const std::string& source) {
    const std::string command =
        "localedef -i " + source + " -f UTF-8 " + dir.dir() + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }
  void Use(const std::string& name) {
    setenv("LOCPATH", dir.path().c_str(), 1);
    setenv("LC_ALL", name.c_str(), 1);
  }
  testsupport::TempDir dir;
};

}  // namespace

TEST(RegionalSettings, ThousandsSeparatorOfTheEnvironmentsLocale) {
  LocaleEnvironment locale;
  locale.Use("C");
  EXPECT_EQ(platform::ThousandsSeparator(), ",");  // none: the one Korean receipts use
  locale.Use("xx_NOT_INSTALLED.UTF-8");
  EXPECT_EQ(platform::ThousandsSeparator(), ",");
  if (!locale.Compile("de_DE.UTF-8", "de_DE") || !locale.Compile("fr_FR.UTF-8", "fr_FR") ||
      !locale.Compile("de_CH.UTF-8", "de_CH"))
    GTEST_SKIP() << "localedef or the locale sources (package locales) are missing";
  locale.Use("de_DE.UTF-8");
  EXPECT_EQ(platform::ThousandsSeparator(), ".");
  locale.Use("fr_FR.UTF-8");  // a narrow no-break space, which code page 949 lacks
  EXPECT_EQ(platform::ThousandsSeparator(), ",");
  locale.Use("de_CH.UTF-8");  // a right single quotation mark, which it has
  EXPECT_EQ(platform::ThousandsSeparator(), testsupport::K("’"));
}
