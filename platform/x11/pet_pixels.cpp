#include "platform/x11/pet_pixels.h"

#include <algorithm>
#include <cstddef>

namespace guizzolo::x11 {

PetPixels composePet(int width, int height, Colour background, bool keyed, Colour key,
                     const std::vector<PlacedPicture>& pictures) {
  PetPixels out;
  out.width = std::max(width, 0);
  out.height = std::max(height, 0);
  out.keyed = keyed;
  const auto w = static_cast<std::size_t>(out.width);
  std::vector<std::uint32_t> rgb(w * static_cast<std::size_t>(out.height), toRgb(background));
  for (const PlacedPicture& p : pictures) {
    if (p.picture == nullptr) continue;
    const image::Image& pic = *p.picture;
    for (int y = std::max(0, -p.y); y < pic.height && p.y + y < out.height; ++y) {
      for (int x = std::max(0, -p.x); x < pic.width && p.x + x < out.width; ++x) {
        const auto from = static_cast<std::size_t>(y) * static_cast<std::size_t>(pic.width) + static_cast<std::size_t>(x);
        if (!pic.opaque[from]) continue;
        rgb[static_cast<std::size_t>(p.y + y) * w + static_cast<std::size_t>(p.x + x)] = pic.rgb[from] & 0xFFFFFFu;
      }
    }
  }
  const std::uint32_t cut = toRgb(key);
  out.argb.resize(rgb.size());
  for (std::size_t i = 0; i < rgb.size(); ++i)
    out.argb[i] = keyed && rgb[i] == cut ? 0u : (0xFF000000u | rgb[i]);
  if (!keyed) return out;
  for (int y = 0; y < out.height; ++y) {
    const std::uint32_t* row = out.argb.data() + static_cast<std::size_t>(y) * w;
    int x = 0;
    while (x < out.width) {
      while (x < out.width && row[x] == 0) ++x;
      const int start = x;
      while (x < out.width && row[x] != 0) ++x;
      if (x > start)
        out.shape.push_back(ShapeRect{static_cast<std::int16_t>(start), static_cast<std::int16_t>(y),
                                      static_cast<std::uint16_t>(x - start), 1});
    }
  }
  return out;
}

}  // namespace guizzolo::x11
