// Reading a RIFF WAVE file into what the audio server is told to play.
//
// Wave files come from the program folder, where anyone may have put
// anything: the reader trusts no size or count in the file.
#pragma once

#include <cstdint>
#include <string_view>

namespace guizzolo::pulse {

enum class SampleFormat { U8, S16LE, S24LE, S32LE, Float32LE };

struct Wave {
  SampleFormat format = SampleFormat::S16LE;
  std::uint32_t channels = 0;  // 1 or 2
  std::uint32_t rate = 0;      // frames per second
  // Whole frames of sound, a view into the bytes handed to ParseWave.
  std::string_view frames;
};

// The sound in a wave file's bytes: uncompressed PCM of 8, 16, 24 or 32
// bits, or 32-bit float, mono or stereo, at any rate the server takes.
// Chunks may come in any order, the size fields may lie about the file's
// length: a cut-off data chunk plays what is there. Anything else, or no
// sound at all, is a Failure.
Wave ParseWave(std::string_view bytes);

}  // namespace guizzolo::pulse
