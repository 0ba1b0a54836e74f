// The numbers of the audio server's native protocol that the player uses
// (PulseAudio, and PipeWire's server for the same protocol).
#pragma once

#include <cstddef>
#include <cstdint>

namespace guizzolo::pulse::native {

// The version we speak, without the shared-memory bits: every block of
// sound then travels inline on the socket.
constexpr std::uint32_t kVersion = 35;
// Below this, commands carry no property lists; no server still in use is
// that old, and our requests are not encoded for it.
constexpr std::uint32_t kLowestVersion = 13;
constexpr std::uint32_t kVersionMask = 0x0000FFFFu;

constexpr std::size_t kCookieBytes = 256;
constexpr std::uint32_t kInvalidIndex = 0xFFFFFFFFu;
constexpr std::uint32_t kCommandChannel = 0xFFFFFFFFu;
constexpr std::uint32_t kVolumeNorm = 0x10000u;

enum Command : std::uint32_t {
  kError = 0,
  kReply = 2,
  kAuth = 8,
  kSetClientName = 9,
  kCreateUploadStream = 15,
  kFinishUploadStream = 17,
  kPlaySample = 18,
  kGetServerInfo = 20,
  kKillSinkInput = 49,
};

enum ErrorCode : std::uint32_t { kNoEntity = 5 };

enum SampleFormat : std::uint8_t {
  kU8 = 0,
  kS16LE = 3,
  kFloat32LE = 5,
  kS32LE = 7,
  kS24LE = 9,
};

enum ChannelPosition : std::uint8_t { kMono = 0, kFrontLeft = 1, kFrontRight = 2 };

}  // namespace guizzolo::pulse::native
