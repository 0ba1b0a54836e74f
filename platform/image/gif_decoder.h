// The first frame of a GIF (87a or 89a), as the pet's pictures need it:
// palette colours and the transparent index of the graphic control extension.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/image/image.h"

namespace guizzolo::image {

struct GifError : std::runtime_error {
  explicit GifError(const std::string& what) : std::runtime_error(what) {}
};

// GifError for anything that is not a readable GIF.
Image decodeGif(const std::uint8_t* data, std::size_t size);

}  // namespace guizzolo::image
