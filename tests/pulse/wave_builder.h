// Wave files made in memory, sound or not, for the tests of the wave reader
// and the player.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

namespace guizzolo::test {

inline std::string Le(std::uint32_t value, int width) {
  std::string out;
  for (int i = 0; i < width; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

inline std::string Chunk(const std::string& id, const std::string& body, bool pad = true) {
  std::string out = id + Le(static_cast<std::uint32_t>(body.size()), 4) + body;
  if (pad && body.size() % 2 == 1) out += '\0';
  return out;
}

inline std::string FormatChunkBody(int tag, int channels, int rate, int bits, int blockAlign = -1) {
  if (blockAlign < 0) blockAlign = channels * bits / 8;
  return Le(static_cast<std::uint32_t>(tag), 2) + Le(static_cast<std::uint32_t>(channels), 2) +
         Le(static_cast<std::uint32_t>(rate), 4) + Le(static_cast<std::uint32_t>(rate * blockAlign), 4) +
         Le(static_cast<std::uint32_t>(blockAlign), 2) + Le(static_cast<std::uint32_t>(bits), 2);
}

inline std::string Riff(const std::string& chunks) {
  return "RIFF" + Le(static_cast<std::uint32_t>(4 + chunks.size()), 4) + "WAVE" + chunks;
}

// A loud 16-bit mono tone of the given length.
inline std::string ToneWave(double seconds, double hertz = 440, int rate = 44100) {
  std::string data;
  const int frames = static_cast<int>(seconds * rate);
  for (int i = 0; i < frames; ++i) {
    const double v = 0.5 * std::sin(2 * M_PI * hertz * i / rate);
    data += Le(static_cast<std::uint16_t>(static_cast<std::int16_t>(v * 32767)), 2);
  }
  return Riff(Chunk("fmt ", FormatChunkBody(1, 1, rate, 16)) + Chunk("data", data));
}

}  // namespace guizzolo::test
