// The program's layouts are in twips; the windows that carry them out
// count in pixels.
#pragma once

#include <cmath>

namespace guizzolo {

// To the nearest pixel, halves to even (the default rounding mode).
inline int twipsToPixels(float twips, float twipsPerPixel) {
  return static_cast<int>(std::nearbyint(static_cast<double>(twips) / static_cast<double>(twipsPerPixel)));
}

}  // namespace guizzolo
