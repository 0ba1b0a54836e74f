#include "platform/x11/configure.h"

#include <xcb/xcb.h>

#include <cmath>

namespace guizzolo::x11 {

ConfigureRequest configureFor(const Geometry& sent, const Geometry& wanted, bool raise) {
  ConfigureRequest r;
  // The values go in the order of their mask bits.
  const auto add = [&r](std::uint16_t bit, std::int32_t value) {
    r.mask = static_cast<std::uint16_t>(r.mask | bit);
    r.values.push_back(static_cast<std::uint32_t>(value));
  };
  if (wanted.x != sent.x) add(XCB_CONFIG_WINDOW_X, wanted.x);
  if (wanted.y != sent.y) add(XCB_CONFIG_WINDOW_Y, wanted.y);
  if (wanted.width != sent.width) add(XCB_CONFIG_WINDOW_WIDTH, wanted.width);
  if (wanted.height != sent.height) add(XCB_CONFIG_WINDOW_HEIGHT, wanted.height);
  if (raise) add(XCB_CONFIG_WINDOW_STACK_MODE, XCB_STACK_MODE_ABOVE);
  return r;
}

int toDevice(int logical, double scale) {
  return static_cast<int>(std::lround(static_cast<double>(logical) * scale));
}

int toLogical(int device, double scale) {
  return static_cast<int>(std::lround(static_cast<double>(device) / scale));
}

}  // namespace guizzolo::x11
