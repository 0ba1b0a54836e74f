// A decoded picture as plain pixels, and the one scaling the pet uses.
// Shared by the Windows and the X11 programs: no window-system header here.
// The decoder and the scaling are checked against an independent GIF reader.
#pragma once

#include <cstdint>
#include <vector>

namespace guizzolo::image {

struct Image {
  int width = 0, height = 0;
  // 0x00RRGGBB per pixel, row by row from the top; `opaque` says which pixels
  // the picture covers (a GIF's transparent index leaves the background).
  std::vector<std::uint32_t> rgb;
  std::vector<bool> opaque;
};

// Scaled to width x height by taking, for each target pixel, the source pixel
// under its centre. No colour is ever mixed, so the outline never blends
// into the key colour, and Wine and Windows draw the very same pixels.
Image scaledNearest(const Image& source, int width, int height);

}  // namespace guizzolo::image
