#pragma once

#include <cstdint>

namespace guizzolo {

class Form;

constexpr std::int16_t kTrue = -1;
constexpr std::int16_t kFalse = 0;

// Puts the window into the always-on-top band (kTrue) or back into the
// ordinary band (kFalse), re-applying its own position and size, and shows
// it. Any other value does nothing. Failures pass to the caller.
void SetTopMost(Form& window, std::int16_t onTop);

}  // namespace guizzolo
