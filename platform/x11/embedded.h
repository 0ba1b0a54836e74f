// The files compiled into the executable (see embed.cmake).
#pragma once

#include <cstddef>
#include <cstdint>

namespace guizzolo::x11::embedded {

struct Bytes {
  const std::uint8_t* data;
  std::size_t size;
};

extern const Bytes kFishLeftGif;
extern const Bytes kFishRightGif;
extern const Bytes kGrabHandCur;

}  // namespace guizzolo::x11::embedded
