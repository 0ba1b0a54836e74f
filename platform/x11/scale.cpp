#include "platform/x11/scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace guizzolo::x11 {
namespace {

std::optional<double> number(const std::string& text) {
  // The C locale's point, whatever the user's locale: these are not user texts.
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double value = 0;
  if (!(in >> value)) return std::nullopt;
  in >> std::ws;
  if (!in.eof()) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

}  // namespace

std::optional<double> xftDpi(const std::string& resources) {
  std::optional<double> found;
  std::istringstream lines(resources);
  std::string line;
  while (std::getline(lines, line)) {
    const auto colon = line.find(':');
    if (colon == std::string::npos || trimmed(line.substr(0, colon)) != "Xft.dpi") continue;
    found = number(trimmed(line.substr(colon + 1)));  // the last one wins, as in Xrm
  }
  if (found && !(*found > 0)) return std::nullopt;
  return found;
}

ScaleSetting scaleFactorSetting(const char* value) {
  if (value == nullptr || *value == '\0') return {};
  const std::optional<double> factor = number(trimmed(value));
  if (!factor || *factor < 0.25 || *factor > 8) return ScaleSetting{std::nullopt, false};
  return ScaleSetting{factor, true};
}

double deviceScale(std::optional<double> dpi, std::optional<double> factor) {
  // Qt never takes a screen below 96 dpi as smaller than 1.
  return (dpi ? std::max(*dpi / 96.0, 1.0) : 1.0) * factor.value_or(1.0);
}

std::optional<double> sanitiseScaleFactor(const char* programName) {
  const char* value = std::getenv("QT_SCALE_FACTOR");
  const ScaleSetting setting = scaleFactorSetting(value);
  if (!setting.sane) {
    std::fprintf(stderr, "%s: QT_SCALE_FACTOR=%s ignored: a scale factor must lie between 0.25 and 8\n",
                 programName, value);
    ::unsetenv("QT_SCALE_FACTOR");
  }
  return setting.factor;
}

}  // namespace guizzolo::x11
