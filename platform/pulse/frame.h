// The audio server's framing: every frame starts with a 20-byte descriptor
// of five big-endian words (payload length, channel, offset high and low,
// flags). Channel 0xFFFFFFFF carries commands; any other carries the sound
// of the stream with that channel number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace guizzolo::pulse {

constexpr std::size_t kDescriptorBytes = 20;
// Nothing the server sends us comes near this (we record nothing); more is
// taken for a broken connection rather than buffered.
constexpr std::size_t kMaxIncomingFrameBytes = 1u << 20;

struct Frame {
  std::uint32_t channel = 0;
  std::uint32_t flags = 0;
  std::string_view payload;
};

std::string Descriptor(std::uint32_t length, std::uint32_t channel, std::uint32_t flags = 0);

enum class Split { kNeedMore, kFrame, kMalformed };
// Takes the first whole frame off the front of bytes, setting used to its
// full size.
Split SplitFrame(std::string_view bytes, Frame& frame, std::size_t& used);

}  // namespace guizzolo::pulse
