// Dates, times and the decimal separator as the user's own locale settings
// (LC_TIME, LC_NUMERIC and their fallbacks LC_ALL and LANG) write them. Each
// call reads the environment afresh through a locale object of its own: the
// program's global locale is never changed.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace guizzolo::posix {

// The strftime format without its time-zone fields (%Z, %z) and the blanks
// that set them apart: "%Z %I:%M:%S %p" gives "%I:%M:%S %p".
std::string withoutTimeZone(std::string_view timeFormat);

// The user's short date (D_FMT, the form of `date +%x`), e.g. 07/12/2026 in Italy.
std::string shortDate(const std::tm& when);
// The user's time (T_FMT) without a time zone, e.g. 04:25:48 in Italy.
std::string longTime(const std::tm& when);
// Both for the local time now.
std::string shortDate();
std::string longTime();

// The user's decimal separator from LC_NUMERIC: "," in Italy, U+066B in
// Iran; "." when the locale names none.
std::string decimalSeparator();

}  // namespace guizzolo::posix
