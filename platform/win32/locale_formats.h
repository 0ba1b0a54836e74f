// Date, time and numbers as the user has set them in the regional settings.
#pragma once

#include <string>

namespace guizzolo::win32 {

std::string userShortDate();
std::string userLongTime();
std::string userDecimalSeparator();

}  // namespace guizzolo::win32
