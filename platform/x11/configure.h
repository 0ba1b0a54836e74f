// The one ConfigureWindow a tick sends: what changed since the last one
// (place, size) and, only when something was stacked above the window, a
// raise. Pure, so the coalescing is checked without a server.
#pragma once

#include <cstdint>
#include <vector>

namespace guizzolo::x11 {

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Geometry&) const = default;
};

struct ConfigureRequest {
  std::uint16_t mask = 0;  // XCB_CONFIG_WINDOW_* bits
  std::vector<std::uint32_t> values;
  bool empty() const { return mask == 0; }
};

// Nothing at all when neither the geometry changed nor a raise is wanted.
ConfigureRequest configureFor(const Geometry& sent, const Geometry& wanted, bool raise);

// Program pixels to screen pixels and back, to the nearest.
int toDevice(int logical, double scale);
int toLogical(int device, double scale);

}  // namespace guizzolo::x11
