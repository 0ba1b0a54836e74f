#include "platform/qt/locale_formats.h"

namespace guizzolo::qt {

QString withoutTimeZone(const QString& timeFormat) {
  QString out;
  bool quoted = false;
  for (qsizetype i = 0; i < timeFormat.size(); ++i) {
    const QChar c = timeFormat.at(i);
    if (c == u'\'') quoted = !quoted;
    if (quoted || c != u't') {
      out += c;
      continue;
    }
    // A zone field: drop it with the blanks before it, or after it when it
    // opens the format.
    while (!out.isEmpty() && out.back().isSpace()) out.chop(1);
    while (i + 1 < timeFormat.size() && timeFormat.at(i + 1) == u't') ++i;
    if (out.isEmpty()) {
      while (i + 1 < timeFormat.size() && timeFormat.at(i + 1).isSpace()) ++i;
    }
  }
  return out;
}

QString shortDate(const QLocale& locale, const QDate& date) {
  return locale.toString(date, QLocale::ShortFormat);
}

QString longTime(const QLocale& locale, const QTime& time) {
  return locale.toString(time, withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

}  // namespace guizzolo::qt
