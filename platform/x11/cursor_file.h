// A pointer read from a Windows .cur file, the same file the Windows build
// compiles in, so both programs show the very same grab hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace guizzolo::x11 {

struct CursorImage {
  int width = 0, height = 0;
  int hotX = 0, hotY = 0;
  // 0xAARRGGBB, premultiplied, row by row from the top.
  std::vector<std::uint32_t> argb;
};

// The first image of a .cur holding 32-bit pictures; nothing for anything else.
std::optional<CursorImage> decodeCursor(const std::uint8_t* data, std::size_t size);

}  // namespace guizzolo::x11
