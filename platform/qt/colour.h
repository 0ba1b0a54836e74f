// The program's colours are 0x00BBGGRR values, red in the lowest byte.
#pragma once

#include <QColor>

#include "platform/platform.h"

namespace guizzolo::qt {

inline QRgb toRgb(Colour colour) {
  return qRgb(static_cast<int>(colour & 0xFFu), static_cast<int>((colour >> 8) & 0xFFu),
              static_cast<int>((colour >> 16) & 0xFFu));
}

inline QColor toQColor(Colour colour) { return QColor::fromRgb(toRgb(colour)); }

}  // namespace guizzolo::qt
