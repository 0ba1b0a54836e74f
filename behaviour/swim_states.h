// The four ways the fish swims. Which timer of the pet window is enabled is
// the swim state; nothing else holds it.
#pragma once

#include <array>

namespace guizzolo {

class Form1;

// A hand-over to another state writes all four timers, in an order that
// belongs to the hand-over.
struct Selection {
  int target = 0;               // 0: no timer is written
  std::array<int, 4> order{};  // timer ids in the order they are written
};

struct SwimState {
  bool image1Visible;  // facing left
  bool image2Visible;  // facing right
  int dx, dy;          // direction of a move: -1, 0 or +1 per axis
  int soundLast;       // sound rule: event numbers 201..soundLast
  const char* soundFile;
  Selection turn, right, left, top, bottom;
};

// Swim states 1..4 at index 0..3.
extern const std::array<SwimState, 4> kSwimStates;

// Limits of the swimming area, for the window's top-left corner in twips.
struct SwimArea {
  static constexpr float kRightLimit = 15000, kRightBack = 14500;
  static constexpr float kLeftLimit = 1, kLeftBack = 100;
  static constexpr float kTopLimit = 1, kTopBack = 100;
  static constexpr float kBottomLimit = 12000, kBottomBack = 11500;
};

// One tick of swim state 1..4.
void SwimTick(Form1& pet, int state);

}  // namespace guizzolo
