// Dates and times as the user's locale writes them.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace guizzolo::qt {

// The format without its time-zone fields ("t") and the blanks that set
// them apart, quoted text left alone: "h:mm:ss AP t" gives "h:mm:ss AP".
QString withoutTimeZone(const QString& timeFormat);

// The locale's short date, e.g. 06/12/26 in Italy.
QString shortDate(const QLocale& locale, const QDate& date);
// The locale's long time (hours, minutes, seconds) without a time zone,
// e.g. 04:25:48 in Italy.
QString longTime(const QLocale& locale, const QTime& time);

}  // namespace guizzolo::qt
