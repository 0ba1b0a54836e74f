// What the pet window shows, worked out once per picture: the window's
// pixels (the pictures over the background colour) and the shape that cuts
// out the key colour. Pure computation, so it is checked without a display.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/image/image.h"
#include "platform/platform.h"

namespace guizzolo::x11 {

// One picture control, already scaled to its rectangle (window pixels).
struct PlacedPicture {
  const image::Image* picture = nullptr;
  int x = 0, y = 0;
};

struct ShapeRect {
  std::int16_t x = 0, y = 0;
  std::uint16_t width = 0, height = 0;
  bool operator==(const ShapeRect&) const = default;
};

struct PetPixels {
  int width = 0, height = 0;
  // 0xAARRGGBB, row by row; key-coloured pixels have alpha 0 (all bits 0,
  // as premultiplied alpha wants) when keyed, every other pixel alpha 255.
  std::vector<std::uint32_t> argb;
  // The pixels that show, as rows of runs (y-x banded); empty when nothing
  // shows. Only meaningful when keyed.
  std::vector<ShapeRect> shape;
  bool keyed = false;
};

// The window of the given size filled with `background`, the visible
// pictures drawn over it in order (a later one covers an earlier one), and,
// when `keyed`, every pixel of the key colour cut out.
PetPixels composePet(int width, int height, Colour background, bool keyed, Colour key,
                     const std::vector<PlacedPicture>& pictures);

// 0x00BBGGRR (the program's colours) to 0x00RRGGBB.
constexpr std::uint32_t toRgb(Colour c) {
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

}  // namespace guizzolo::x11
