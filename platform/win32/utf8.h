// The platform interface speaks UTF-8; Windows speaks UTF-16.
#pragma once

#include <string>

namespace guizzolo::win32 {

// Failure for text that is not valid UTF-8 (or UTF-16): a broken name must
// not silently become another file's name.
std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);

}  // namespace guizzolo::win32
