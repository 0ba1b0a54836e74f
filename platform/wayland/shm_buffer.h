// A picture handed to the compositor once as a shared-memory buffer. The
// pixels never change after: a new picture is a new buffer.
#pragma once

#include <wayland-client.h>

#include <cstdint>
#include <vector>

namespace guizzolo::wayland {

// 0xAARRGGBB pixels, premultiplied (fully transparent pixels all zero), row
// by row. nullptr when the memory cannot be had.
wl_buffer* makeShmBuffer(wl_shm* shm, int width, int height, const std::vector<std::uint32_t>& argb);

}  // namespace guizzolo::wayland
