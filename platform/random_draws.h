// The draws behind the swim: a seeded generator whose values are uniform in
// [0, 1). Both desktops share it so that a seed swims the same way on each.
#pragma once

#include <bit>
#include <cstdint>
#include <random>

namespace guizzolo {

class RandomDraws {
 public:
  void seed(float value) { engine_.seed(std::bit_cast<std::uint32_t>(value)); }

  // 24 random bits over 2^24: every float step of [0, 1) equally likely, and
  // never 1.0, which would make a draw one past its range.
  float next() { return static_cast<float>(engine_() >> 8) * (1.0f / 16777216.0f); }

 private:
  std::mt19937 engine_;
};

}  // namespace guizzolo
