#include "platform/posix/locale_formats.h"

#include <langinfo.h>
#include <locale.h>

namespace guizzolo::posix {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// One category of the user's locale; the C locale when the one named in the
// environment is not installed (as setlocale would leave it).
class UserLocale {
 public:
  explicit UserLocale(int categoryMask) : locale_(::newlocale(categoryMask, "", nullptr)) {
    if (locale_ == nullptr) locale_ = ::newlocale(categoryMask, "C", nullptr);
  }
  UserLocale(const UserLocale&) = delete;
  UserLocale& operator=(const UserLocale&) = delete;
  ~UserLocale() {
    if (locale_ != nullptr) ::freelocale(locale_);
  }
  std::string info(nl_item item) const {
    if (locale_ == nullptr) return {};
    const char* text = ::nl_langinfo_l(item, locale_);
    return text == nullptr ? std::string() : std::string(text);
  }
  std::string format(const std::string& format, const std::tm& when) const {
    if (locale_ == nullptr || format.empty()) return {};
    // A format that writes nothing would look like one that overflows.
    const std::string marked = format + "x";
    std::string out(64, '\0');
    for (;;) {
      const std::size_t n = ::strftime_l(out.data(), out.size(), marked.c_str(), &when, locale_);
      if (n > 0) {
        out.resize(n - 1);
        return out;
      }
      if (out.size() >= 4096) return {};
      out.resize(out.size() * 4);
    }
  }

 private:
  locale_t locale_;
};

std::tm localNow() {
  const std::time_t now = std::time(nullptr);
  std::tm when{};
  ::localtime_r(&now, &when);
  return when;
}

}  // namespace

std::string withoutTimeZone(std::string_view timeFormat) {
  std::string out;
  for (std::size_t i = 0; i < timeFormat.size(); ++i) {
    const char c = timeFormat[i];
    if (c != '%' || i + 1 >= timeFormat.size()) {
      out += c;
      continue;
    }
    const char field = timeFormat[i + 1];
    if (field != 'Z' && field != 'z') {
      out += c;
      out += field;  // "%%" stays one literal percent sign
      ++i;
      continue;
    }
    // A zone field: drop it with the blanks before it, or after it when it
    // opens the format.
    ++i;
    while (!out.empty() && isBlank(out.back())) out.pop_back();
    if (out.empty())
      while (i + 1 < timeFormat.size() && isBlank(timeFormat[i + 1])) ++i;
  }
  return out;
}

std::string shortDate(const std::tm& when) {
  const UserLocale time(LC_TIME_MASK);
  return time.format(time.info(D_FMT), when);
}

std::string longTime(const std::tm& when) {
  const UserLocale time(LC_TIME_MASK);
  // "%r" is the locale's 12-hour form, which may carry a zone of its own.
  const std::string format = time.info(T_FMT), twelveHour = time.info(T_FMT_AMPM);
  std::string spelled;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      const bool expand = format[i + 1] == 'r' && !twelveHour.empty();
      spelled += expand ? twelveHour : format.substr(i, 2);
      ++i;
    } else {
      spelled += format[i];
    }
  }
  return time.format(withoutTimeZone(spelled), when);
}

std::string shortDate() { return shortDate(localNow()); }
std::string longTime() { return longTime(localNow()); }

std::string decimalSeparator() {
  const std::string separator = UserLocale(LC_NUMERIC_MASK).info(RADIXCHAR);
  return separator.empty() ? "." : separator;
}

}  // namespace guizzolo::posix
