// The hunger value is held as text; these read and write it as a number in
// the user's locale.
#pragma once

#include <string>
#include <string_view>

namespace guizzolo {

// A decimal number with blanks allowed around it; the decimal separator is
// the locale's or any the program writes under some locale (point, comma,
// U+066B), so a value stored under one locale reads back under another. Failure for anything else: empty text, letters,
// NaN or infinity, a value beyond the range of a double.
double ParseHunger(std::string_view text, std::string_view decimalSeparator);

// Shortest form with at most 15 significant digits: whole numbers carry no
// decimal separator.
std::string FormatHunger(double value, std::string_view decimalSeparator);

}  // namespace guizzolo
