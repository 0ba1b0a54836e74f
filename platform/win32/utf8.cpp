#include "platform/win32/utf8.h"

#include "platform/win32/win_api.h"

#include <limits>

#include "platform/platform.h"

namespace guizzolo::win32 {

std::wstring widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  if (utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw Failure("text too long");
  const int inLength = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, nullptr, 0);
  if (length <= 0) throw Failure("not UTF-8");
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, out.data(), length);
  return out;
}

std::string narrow(const std::wstring& utf16) {
  if (utf16.empty()) return {};
  if (utf16.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw Failure("text too long");
  const int inLength = static_cast<int>(utf16.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), inLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) throw Failure("not UTF-16");
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), inLength, out.data(), length, nullptr, nullptr);
  return out;
}

}  // namespace guizzolo::win32
