#include "pet_fixture.h"

namespace guizzolo::test {
namespace {

class PointerTest : public PetTest {
 protected:
  void SetUp() override {
    WriteStoreBytes("57\r\n");
    Start();
    Tick(1);
  }
  void Press(int image, MouseButton button) { Pet().events.mouseDown(image, static_cast<int>(button)); }
};

TEST_F(PointerTest, RightPressOnTheRightFacingFishStopsItAndShowsThePanel) {
  Tick(1, 10, 950);  // hunger step: field 56, pet copy 57
  platform.log.clear();
  Press(Form1::Image2, MouseButton::Right);
  EXPECT_EQ(platform.calls("setWindowPos").front().substr(0, 15), "setWindowPos(-2");
  EXPECT_TRUE(platform.calls("dragMove").empty());
  EXPECT_EQ(platform.calls("Timer"),
            (std::vector<std::string>{"Timer1 off", "Timer2 off", "Timer3 off", "Timer4 off"}));
  EXPECT_TRUE(EnabledTimers().empty());
  EXPECT_TRUE(Panel()->visible);
  EXPECT_FALSE(Pet().topMost);
  EXPECT_EQ(HungerField(), "57") << "the pet copy sets the field back up by one";
  EXPECT_TRUE(platform.calls("readFile").empty()) << "not rebuilt";
}

TEST_F(PointerTest, LeftPressDragsFirstAndTicksRunDuringTheDrag) {
  for (const int image : {Form1::Image1, Form1::Image2}) {
    const PixelRect before = Pet().geometry;
    platform.dragDx = 40;
    platform.dragDy = -30;
    platform.duringDrag = [&] {
      EXPECT_EQ(EnabledTimers(), std::vector<int>{1}) << "still swimming during the drag";
      Tick(1, 15, 500);
      EXPECT_TRUE(Pet().topMost);
    };
    platform.log.clear();
    Press(image, MouseButton::Left);
    platform.duringDrag = nullptr;
    const auto names = platform.calls("releaseCapture");
    EXPECT_EQ(names.size(), 1u);
    EXPECT_EQ(Pet().geometry.x, before.x + 1 + 40);
    EXPECT_EQ(Pet().geometry.y, before.y + 1 - 30);
    // Re-arm state 1 the way a closed panel would, for the next image.
    Panel()->events.closeRequested();
    Tick(1);
  }
}

TEST_F(PointerTest, MiddlePressDoesNotDrag) {
  Press(Form1::Image1, MouseButton::Middle);
  EXPECT_TRUE(platform.calls("dragMove").empty());
  EXPECT_TRUE(Panel()->visible);
}

TEST_F(PointerTest, LeftFacingFishRebuildsThePanelAndSwimsOn) {
  Tick(1, 10, 950);  // field 56, pet copy 57
  platform.time = "10:30:00";
  platform.log.clear();
  Press(Form1::Image1, MouseButton::Right);
  EXPECT_EQ(StoreBytes(), "57\r\n") << "the unload stored the pet copy";
  EXPECT_EQ(platform.calls("readFile").size(), 1u) << "and the load read it back";
  EXPECT_EQ(HungerField(), "57");
  EXPECT_EQ(Panel()->texts[Form2::Label4], "Oggi è 07/12/2026 e sono le ore 10:30:00");
  EXPECT_TRUE(Panel()->visible);
  EXPECT_EQ(EnabledTimers(), std::vector<int>{1}) << "swims on in state 1 beside the panel";
  EXPECT_TRUE(Pet().topMost);
}

TEST_F(PointerTest, RightFacingFishKeepsTheOldDateLine) {
  platform.time = "10:30:00";
  Press(Form1::Image2, MouseButton::Right);
  EXPECT_EQ(Panel()->texts[Form2::Label4], "Oggi è 07/12/2026 e sono le ore 04:25:48");
}

TEST_F(PointerTest, PressWithThePanelNotLoadedLeavesTheFishStill) {
  program.form2.Unload();
  for (int id = 1; id <= 4; ++id) Pet().timers[static_cast<std::size_t>(id - 1)] = false;
  Pet().timers[1] = true;  // swimming in state 2: the panel stays unloaded
  Press(Form1::Image1, MouseButton::Right);
  EXPECT_TRUE(EnabledTimers().empty());
  EXPECT_TRUE(Panel()->visible);
  EXPECT_FALSE(Pet().topMost);
  Panel()->events.closeRequested();
  EXPECT_EQ(EnabledTimers(), std::vector<int>{1});
  EXPECT_TRUE(Pet().topMost);
}

TEST_F(PointerTest, FailingCaptureReleaseStillDrags) {
  platform.failing = {"releaseCapture"};
  Press(Form1::Image2, MouseButton::Left);
  EXPECT_EQ(platform.calls("dragMove").size(), 1u);
  EXPECT_TRUE(Panel()->visible);
}

}  // namespace
}  // namespace guizzolo::test
