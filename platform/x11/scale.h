// How many screen pixels one of the program's pixels takes, worked out as
// Qt works it out for the panel, so the fish and the panel grow alike.
#pragma once

#include <optional>
#include <string>

namespace guizzolo::x11 {

// Xft.dpi from the X resources (the root window's RESOURCE_MANAGER text);
// nothing when absent or not a positive number.
std::optional<double> xftDpi(const std::string& resources);

// QT_SCALE_FACTOR as Qt would take it: nothing when unset or empty. A value
// that is not a number or lies outside 0.25..8 hides the pet (no window, or a
// 2x2 one): `sane` is false then and the value must be dropped.
struct ScaleSetting {
  std::optional<double> factor;
  bool sane = true;
};
ScaleSetting scaleFactorSetting(const char* value);

// The device pixels per program pixel: the resource DPI over 96 (never
// below 1, as Qt takes it), times the scale factor.
double deviceScale(std::optional<double> dpi, std::optional<double> factor);

// Drops an insane QT_SCALE_FACTOR from the environment before Qt can read it,
// saying so once on stderr. Returns the factor kept, if any.
std::optional<double> sanitiseScaleFactor(const char* programName);

}  // namespace guizzolo::x11
