#include "platform/image/image.h"

#include <cstddef>

namespace guizzolo::image {

Image scaledNearest(const Image& source, int width, int height) {
  Image out;
  if (width <= 0 || height <= 0 || source.width <= 0 || source.height <= 0) return out;
  out.width = width;
  out.height = height;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  out.rgb.resize(count);
  out.opaque.resize(count);
  // Integer arithmetic only: (2x + 1) * sw / (2w) is the source column under
  // the centre of target column x, the same on every machine.
  const auto sw = static_cast<std::int64_t>(source.width);
  const auto sh = static_cast<std::int64_t>(source.height);
  std::size_t i = 0;
  for (int y = 0; y < height; ++y) {
    const std::int64_t sy = (2 * static_cast<std::int64_t>(y) + 1) * sh / (2 * static_cast<std::int64_t>(height));
    for (int x = 0; x < width; ++x, ++i) {
      const std::int64_t sx = (2 * static_cast<std::int64_t>(x) + 1) * sw / (2 * static_cast<std::int64_t>(width));
      const auto from = static_cast<std::size_t>(sy * sw + sx);
      out.rgb[i] = source.rgb[from];
      out.opaque[i] = source.opaque[from];
    }
  }
  return out;
}

}  // namespace guizzolo::image
