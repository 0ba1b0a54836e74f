// The swim's draws: in range, and a seed gives the same swim every time.
#include "platform/random_draws.h"

#include <gtest/gtest.h>

#include <vector>

namespace guizzolo {
namespace {

std::vector<float> Draws(float seed, int count) {
  RandomDraws draws;
  draws.seed(seed);
  std::vector<float> out;
  for (int i = 0; i < count; ++i) out.push_back(draws.next());
  return out;
}

TEST(RandomDraws, StayInTheHalfOpenUnitRangeAndSpreadOverIt) {
  for (const float seed : {0.0f, -1.0f, 12345.678f, 86399.99f}) {
    const std::vector<float> draws = Draws(seed, 200000);
    int low = 0, high = 0;
    for (const float d : draws) {
      ASSERT_GE(d, 0.0f) << "seed " << seed;
      ASSERT_LT(d, 1.0f) << "seed " << seed;
      low += d < 0.01f;
      high += d >= 0.99f;
    }
    // About 2000 each; a draw that never reaches an end of the range would
    // leave a fish that never swims to one side.
    EXPECT_GT(low, 1500) << "seed " << seed;
    EXPECT_GT(high, 1500) << "seed " << seed;
  }
}

TEST(RandomDraws, ASeedRepeatsItsDrawsAndAnotherSeedDoesNot) {
  EXPECT_EQ(Draws(4242.5f, 50), Draws(4242.5f, 50));
  EXPECT_NE(Draws(4242.5f, 50), Draws(4242.25f, 50));
  // Seeds that differ only in the sign bit are different seeds too.
  EXPECT_NE(Draws(1.0f, 50), Draws(-1.0f, 50));
}

}  // namespace
}  // namespace guizzolo
