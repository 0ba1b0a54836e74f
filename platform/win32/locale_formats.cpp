#include "platform/win32/locale_formats.h"

#include "platform/win32/win_api.h"

#include "platform/platform.h"
#include "platform/win32/utf8.h"

namespace guizzolo::win32 {
namespace {

// The calls return the length with the terminating zero, or 0 on failure.
std::string fromBuffer(const wchar_t* buffer, int length) {
  if (length <= 1) throw Failure("locale query failed");
  return narrow(std::wstring(buffer, static_cast<std::size_t>(length - 1)));
}

}  // namespace

std::string userShortDate() {
  wchar_t buffer[128];
  return fromBuffer(buffer, GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr,
                                            buffer, 128, nullptr));
}

std::string userLongTime() {
  wchar_t buffer[128];
  // No flags: the user's long time format, with seconds.
  return fromBuffer(buffer, GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, buffer, 128));
}

std::string userDecimalSeparator() {
  wchar_t buffer[16];
  return fromBuffer(buffer, GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 16));
}

}  // namespace guizzolo::win32
