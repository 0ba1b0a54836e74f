#include "behaviour/swim_states.h"

#include "app/form1.h"
#include "app/module1.h"
#include "app/resume_next.h"
#include "hunger/hunger_clock.h"
#include "sound/sound_player.h"

namespace guizzolo {
namespace {

constexpr Selection kNone{};
constexpr Selection select(int target, int a, int b, int c, int d) { return {target, {a, b, c, d}}; }

}  // namespace

// The turns run round 1 -> 3 -> 2 -> 4 -> 1: right and down, left, left and
// up, right. State 2 keeps itself at every edge; state 3 gives way to 2.
const std::array<SwimState, 4> kSwimStates = {{
    {false, true, +1, +1, 209, "Sound4.wav",
     select(3, 3, 1, 2, 4), select(2, 1, 2, 3, 4), kNone, kNone, kNone},
    {true, false, -1, -1, 299, "Sound.wav",
     select(4, 4, 1, 2, 3), select(2, 1, 2, 3, 4), select(2, 1, 2, 3, 4),
     select(2, 1, 2, 3, 4), select(2, 1, 2, 3, 4)},
    {true, false, -1, 0, 209, "Sound3.wav",
     select(2, 1, 3, 2, 4), select(2, 1, 3, 2, 4), select(2, 1, 3, 2, 4),
     select(2, 1, 3, 2, 4), select(2, 1, 3, 2, 4)},
    {false, true, +1, 0, 209, "Sound2.wav",
     select(1, 1, 2, 3, 4), select(1, 1, 2, 3, 4), select(1, 1, 2, 3, 4),
     select(2, 1, 2, 3, 4), select(1, 1, 2, 3, 4)},
}};

namespace {

void apply(Form1& pet, const Selection& selection) {
  if (selection.target == 0) return;
  for (int timerId : selection.order) {
    step([&] { pet.hWnd().setTimerEnabled(timerId, timerId == selection.target); });
  }
}

// The one rule a tick applies after its draws; the first whose test holds.
void applyRule(Form1& pet, const SwimState& st, int s, int e) {
  if (testHolds([&] { return e > 1 && e < 100; })) {
    apply(pet, st.turn);
  } else if (testHolds([&] { return e > 200 && e <= st.soundLast; })) {
    step([&] { PlaySoundFile(pet.runtime(), st.soundFile); });
  } else if (testHolds([&] { return pet.Left() > SwimArea::kRightLimit; })) {
    step([&] { pet.SetLeft(SwimArea::kRightBack); });
    apply(pet, st.right);
  } else if (testHolds([&] { return pet.Left() < SwimArea::kLeftLimit; })) {
    step([&] { pet.SetLeft(SwimArea::kLeftBack); });
    apply(pet, st.left);
  } else if (testHolds([&] { return pet.Top() < SwimArea::kTopLimit; })) {
    step([&] { pet.SetTop(SwimArea::kTopBack); });
    apply(pet, st.top);
  } else if (testHolds([&] { return pet.Top() > SwimArea::kBottomLimit; })) {
    step([&] { pet.SetTop(SwimArea::kBottomBack); });
    apply(pet, st.bottom);
  } else {
    const auto distance = static_cast<float>(s);
    if (st.dx != 0) step([&] { pet.SetLeft(pet.Left() + static_cast<float>(st.dx) * distance); });
    if (st.dy != 0) step([&] { pet.SetTop(pet.Top() + static_cast<float>(st.dy) * distance); });
  }
}

}  // namespace

void SwimTick(Form1& pet, int state) {
  const SwimState& st = kSwimStates.at(static_cast<std::size_t>(state - 1));
  Platform& runtime = pet.runtime();
  step([&] { pet.hWnd().giveFocus(); });
  step([&] { SetTopMost(pet, kTrue); });
  step([&] { pet.hWnd().setControlVisible(Form1::Image1, st.image1Visible); });
  step([&] { pet.hWnd().setControlVisible(Form1::Image2, st.image2Visible); });
  int s = 0;
  int e = 0;
  step([&] { s = static_cast<int>(runtime.rnd() * 200) + 1; });
  step([&] { e = static_cast<int>(runtime.rnd() * 1000) + 1; });
  if (state == 1) {
    RefreshPetCopy(pet);
    if (testHolds([&] { return e > 900 && e < 1000; })) HungerStep(pet);
  }
  applyRule(pet, st, s, e);
}

void Form1::Timer1_Timer() { SwimTick(*this, 1); }
void Form1::Timer2_Timer() { SwimTick(*this, 2); }
void Form1::Timer3_Timer() { SwimTick(*this, 3); }
void Form1::Timer4_Timer() { SwimTick(*this, 4); }

}  // namespace guizzolo
