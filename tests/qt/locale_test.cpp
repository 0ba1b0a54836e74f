// The date line's time reads hours, minutes and seconds, with no time zone.
#include <gtest/gtest.h>

#include "platform/qt/locale_formats.h"

namespace guizzolo::qt::test {
namespace {

TEST(Locale, TimeZoneFieldsLeaveTheLongTimeFormat) {
  const struct {
    const char* format;
    const char* expected;
  } table[] = {
      {"HH:mm:ss t", "HH:mm:ss"},
      {"h:mm:ss AP t", "h:mm:ss AP"},
      {"t HH:mm:ss", "HH:mm:ss"},
      {"HH.mm.ss", "HH.mm.ss"},
      {"H 'h' mm 'min' ss 's' t", "H 'h' mm 'min' ss 's'"},
      {"HH:mm:ss 'it''s' tttt", "HH:mm:ss 'it''s'"},
  };
  for (const auto& row : table)
    EXPECT_EQ(withoutTimeZone(QString::fromUtf8(row.format)).toStdString(), row.expected) << row.format;
}

TEST(Locale, ItalianDateLineFields) {
  const QLocale italian(QLocale::Italian, QLocale::Italy);
  EXPECT_EQ(longTime(italian, QTime(4, 25, 48)).toStdString(), "04:25:48");
  EXPECT_EQ(shortDate(italian, QDate(2026, 12, 6)).left(6).toStdString(), "06/12/");
}

}  // namespace
}  // namespace guizzolo::qt::test
