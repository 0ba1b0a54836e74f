// The date line and the decimal separator follow the user's own locale
// settings, as the system's `date +%x` does, whatever the program's locale.
#include "platform/posix/locale_formats.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace guizzolo::posix::test {
namespace {

// Sets locale variables for one test and puts the old ones back.
class Environment {
 public:
  Environment(std::initializer_list<std::pair<const char*, const char*>> values) {
    for (const char* name : {"LC_ALL", "LC_TIME", "LC_NUMERIC", "LANG", "LANGUAGE"}) {
      const char* old = std::getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
      ::unsetenv(name);
    }
    for (const auto& [name, value] : values) ::setenv(name, value, 1);
  }
  ~Environment() {
    for (const auto& [name, value] : saved_) {
      if (value) ::setenv(name.c_str(), value->c_str(), 1);
      else ::unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

std::tm At(int year, int month, int day, int hour, int minute, int second) {
  std::tm when{};
  when.tm_year = year - 1900;
  when.tm_mon = month - 1;
  when.tm_mday = day;
  when.tm_hour = hour;
  when.tm_min = minute;
  when.tm_sec = second;
  std::time_t t = ::timegm(&when);
  ::gmtime_r(&t, &when);  // weekday and day of the year filled in
  return when;
}

std::string Command(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

TEST(LocaleFormats, TimeZoneFieldsLeaveTheTimeFormat) {
  const struct {
    const char* format;
    const char* expected;
  } table[] = {
      {"%H:%M:%S %Z", "%H:%M:%S"},
      {"%I:%M:%S %p %Z", "%I:%M:%S %p"},
      {"%Z %I:%M:%S %p", "%I:%M:%S %p"},
      {"%H.%M.%S", "%H.%M.%S"},
      {"%H h %M min %S s %z", "%H h %M min %S s"},
      {"%T %%Z", "%T %%Z"},  // a literal "%Z" text, not a field
      {"%T\t%z %Z", "%T"},
      {"%Z", ""},
      {"%T %", "%T %"},
  };
  for (const auto& row : table) EXPECT_EQ(withoutTimeZone(row.format), row.expected) << row.format;
}

TEST(LocaleFormats, DateLineAndSeparatorPerLocale) {
  const std::tm when = At(2026, 12, 7, 4, 25, 48);
  const struct {
    const char* locale;
    const char* date;
    const char* time;
    const char* separator;
  } table[] = {
      {"it_IT.UTF-8", "07/12/2026", "04:25:48", ","},
      {"de_DE.UTF-8", "07.12.2026", "04:25:48", ","},
      {"en_US.UTF-8", "12/07/2026", "04:25:48 AM", "."},
      // The zone opens this locale's time ("%Z %I:%M:%S %p").
      {"ar_EG.UTF-8", "07 \xd8\xaf\xd9\x8a\xd8\xb3, 2026", "04:25:48 \xd8\xb5", "."},
      {"ps_AF.UTF-8", nullptr, "04:25:48", "\xd9\xab"},  // U+066B
      {"C", "12/07/26", "04:25:48", "."},
      // Not installed: the C locale's forms, as the rest of the system falls back.
      {"xx_YY.UTF-8", "12/07/26", "04:25:48", "."},
  };
  for (const auto& row : table) {
    Environment env({{"LANG", row.locale}});
    if (row.date) {
      EXPECT_EQ(shortDate(when), row.date) << row.locale;
    }
    EXPECT_EQ(longTime(when), row.time) << row.locale;
    EXPECT_EQ(decimalSeparator(), row.separator) << row.locale;
  }
}

TEST(LocaleFormats, EachPartFollowsItsOwnCategory) {
  const std::tm when = At(2026, 12, 7, 16, 5, 9);
  {
    Environment env({{"LANG", "C"}, {"LC_TIME", "it_IT.UTF-8"}, {"LC_NUMERIC", "ps_AF.UTF-8"}});
    EXPECT_EQ(shortDate(when), "07/12/2026");
    EXPECT_EQ(longTime(when), "16:05:09");
    EXPECT_EQ(decimalSeparator(), "\xd9\xab");
  }
  {
    Environment env({{"LANG", "it_IT.UTF-8"}, {"LC_TIME", "en_US.UTF-8"}, {"LC_ALL", "de_DE.UTF-8"}});
    EXPECT_EQ(shortDate(when), "07.12.2026") << "LC_ALL wins";
    EXPECT_EQ(decimalSeparator(), ",");
  }
  EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C") << "the program's own locale is left alone";
}

TEST(LocaleFormats, TodaysDateReadsAsTheSystemsOwn) {
  for (const char* locale : {"it_IT.UTF-8", "en_US.UTF-8", "de_DE.UTF-8", "ar_EG.UTF-8"}) {
    Environment env({{"LC_ALL", locale}});
    EXPECT_EQ(shortDate(), Command("date +%x")) << locale;
  }
}

TEST(LocaleFormats, TestLocalesAreInstalled) {
  // Without them the cases above fall back to C and say little.
  for (const char* locale : {"it_IT.UTF-8", "en_US.UTF-8", "de_DE.UTF-8", "ar_EG.UTF-8", "ps_AF.UTF-8"}) {
    locale_t l = ::newlocale(LC_ALL_MASK, locale, nullptr);
    EXPECT_NE(l, nullptr) << locale << " missing: scripts/deps.sh test generates it";
    if (l) ::freelocale(l);
  }
}

}  // namespace
}  // namespace guizzolo::posix::test
