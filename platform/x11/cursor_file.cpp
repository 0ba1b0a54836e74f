#include "platform/x11/cursor_file.h"

namespace guizzolo::x11 {
namespace {

std::uint32_t le(const std::uint8_t* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

std::optional<CursorImage> decodeCursor(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < 6 + 16) return std::nullopt;
  if (le(data, 2) != 0 || le(data + 2, 2) != 2 || le(data + 4, 2) < 1) return std::nullopt;
  const std::uint8_t* entry = data + 6;
  CursorImage out;
  out.width = entry[0] == 0 ? 256 : entry[0];
  out.height = entry[1] == 0 ? 256 : entry[1];
  out.hotX = static_cast<int>(le(entry + 4, 2));
  out.hotY = static_cast<int>(le(entry + 6, 2));
  const std::size_t length = le(entry + 8, 4);
  const std::size_t offset = le(entry + 12, 4);
  if (offset > size || length > size - offset || length < 40) return std::nullopt;
  const std::uint8_t* bmp = data + offset;
  const auto w = static_cast<std::size_t>(out.width);
  const auto h = static_cast<std::size_t>(out.height);
  if (le(bmp, 4) < 40 || le(bmp + 4, 4) != w || le(bmp + 8, 4) != 2 * h || le(bmp + 14, 2) != 32 ||
      le(bmp + 16, 4) != 0)
    return std::nullopt;
  const std::size_t header = le(bmp, 4);
  if (length - header < w * h * 4) return std::nullopt;
  const std::uint8_t* pixels = bmp + header;
  out.argb.resize(w * h);
  if (out.hotX >= out.width || out.hotY >= out.height) return std::nullopt;
  for (std::size_t y = 0; y < h; ++y) {
    const std::uint8_t* row = pixels + (h - 1 - y) * w * 4;  // bottom-up
    for (std::size_t x = 0; x < w; ++x) {
      const std::uint32_t b = row[4 * x], g = row[4 * x + 1], r = row[4 * x + 2], a = row[4 * x + 3];
      const auto pre = [a](std::uint32_t c) { return (c * a + 127) / 255; };
      out.argb[y * w + x] = (a << 24) | (pre(r) << 16) | (pre(g) << 8) | pre(b);
    }
  }
  return out;
}

}  // namespace guizzolo::x11
