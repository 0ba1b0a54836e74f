#include "behaviour/swim_states.h"

#include "pet_fixture.h"

namespace guizzolo::test {
namespace {

// One twip per pixel, so positions can sit exactly on the limits.
class SwimTest : public PetTest {
 protected:
  void SetUp() override {
    platform.tpp = 1;
    Start();
    Tick(1);  // loads the panel, so later state-1 ticks read no file
  }
  void Select(int state) {
    for (int id = 1; id <= 4; ++id) Pet().timers[static_cast<std::size_t>(id - 1)] = id == state;
  }
  void Place(int left, int top) { Pet().geometry.x = left, Pet().geometry.y = top; }
  std::vector<std::string> TimerWrites() { return platform.calls("Timer"); }
  void ClearLog() { platform.log.clear(); }
};

TEST_F(SwimTest, EachStateShowsItsFacingAndMovesItsWay) {
  struct Case { int state; bool image1, image2; int dx, dy; };
  for (const Case c : {Case{1, false, true, 50, 50}, Case{2, true, false, -50, -50},
                       Case{3, true, false, -50, 0}, Case{4, false, true, 50, 0}}) {
    SCOPED_TRACE(c.state);
    Select(c.state);
    Place(5000, 5000);
    Tick(c.state, 50, 500);
    EXPECT_EQ(Pet().controlVisible(Form1::Image1), c.image1);
    EXPECT_EQ(Pet().controlVisible(Form1::Image2), c.image2);
    EXPECT_EQ(Pet().geometry.x, 5000 + c.dx);
    EXPECT_EQ(Pet().geometry.y, 5000 + c.dy);
    EXPECT_EQ(EnabledTimers(), std::vector<int>{c.state});
  }
}

TEST_F(SwimTest, TurnsOnlyOnEventNumbersTwoToNinetyNine) {
  struct Case { int state, e, after; };
  for (const Case c : {Case{1, 1, 1}, Case{1, 2, 3}, Case{1, 99, 3}, Case{1, 100, 1},
                       Case{2, 2, 4}, Case{2, 100, 2}, Case{3, 99, 2}, Case{3, 1, 3},
                       Case{4, 2, 1}, Case{4, 100, 4}}) {
    SCOPED_TRACE(testing::Message() << "state " << c.state << " e " << c.e);
    Select(c.state);
    Place(5000, 5000);
    Tick(c.state, 10, c.e);
    EXPECT_EQ(EnabledTimers(), std::vector<int>{c.after});
    const bool turned = c.after != c.state;
    EXPECT_EQ(Pet().geometry.x == 5000, turned) << "a turning tick does not move";
  }
}

TEST_F(SwimTest, PlaysEachStatesSoundOnItsRange) {
  struct Case { int state, e; const char* file; };
  for (const Case c : {Case{1, 200, nullptr}, Case{1, 201, "Sound4.wav"}, Case{1, 209, "Sound4.wav"},
                       Case{1, 210, nullptr}, Case{2, 210, "Sound.wav"}, Case{2, 299, "Sound.wav"},
                       Case{2, 300, nullptr}, Case{3, 205, "Sound3.wav"}, Case{3, 210, nullptr},
                       Case{4, 201, "Sound2.wav"}, Case{4, 200, nullptr}}) {
    SCOPED_TRACE(testing::Message() << "state " << c.state << " e " << c.e);
    Select(c.state);
    Place(5000, 5000);
    ClearLog();
    Tick(c.state, 10, c.e);
    const auto opens = platform.calls("open(");
    if (c.file == nullptr) {
      EXPECT_TRUE(opens.empty());
      EXPECT_NE(Pet().geometry.x, 5000);
    } else {
      ASSERT_EQ(opens.size(), 1u);
      EXPECT_EQ(opens[0], "open(" + folder_.string() + "/" + c.file + ")");
      // The file is missing here: the tick still only plays, and does not move.
      EXPECT_EQ(platform.calls("setAutoStart(1)").size(), 1u);
      EXPECT_EQ(Pet().geometry.x, 5000);
    }
  }
}

TEST_F(SwimTest, LimitsThemselvesAreInsideTheArea) {
  for (const auto& [left, top] : {std::pair{15000, 5000}, {1, 5000}, {5000, 1}, {5000, 12000}}) {
    Select(3);  // moves left only, so the top stays on its limit
    Place(left, top);
    Tick(3, 1, 500);
    EXPECT_EQ(Pet().geometry.x, left - 1);
    EXPECT_EQ(Pet().geometry.y, top);
    EXPECT_EQ(EnabledTimers(), std::vector<int>{3});
  }
}

TEST_F(SwimTest, EdgesPutTheWindowBackAndSelectTheStatesSuccessor) {
  struct Case { int state, left, top, newLeft, newTop, after; std::vector<std::string> writes; };
  const std::vector<std::string> toTwo = {"Timer1 off", "Timer2 on", "Timer3 off", "Timer4 off"};
  const std::vector<std::string> toOne = {"Timer1 on", "Timer2 off", "Timer3 off", "Timer4 off"};
  const std::vector<std::string> threeToTwo = {"Timer1 off", "Timer3 off", "Timer2 on", "Timer4 off"};
  const std::vector<Case> cases = {
      {1, 15001, 5000, 14500, 5000, 2, toTwo},   {1, 0, 5000, 100, 5000, 1, {}},
      {1, 5000, 0, 5000, 100, 1, {}},            {1, 5000, 12001, 5000, 11500, 1, {}},
      {2, 15001, 5000, 14500, 5000, 2, toTwo},   {2, -199, 5000, 100, 5000, 2, toTwo},
      {2, 5000, -199, 5000, 100, 2, toTwo},      {2, 5000, 12200, 5000, 11500, 2, toTwo},
      {3, 15200, 5000, 14500, 5000, 2, threeToTwo}, {3, 0, 5000, 100, 5000, 2, threeToTwo},
      {3, 5000, 0, 5000, 100, 2, threeToTwo},    {3, 5000, 12001, 5000, 11500, 2, threeToTwo},
      {4, 15001, 5000, 14500, 5000, 1, toOne},   {4, 0, 5000, 100, 5000, 1, toOne},
      {4, 5000, 0, 5000, 100, 2, toTwo},         {4, 5000, 12001, 5000, 11500, 1, toOne},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "state " << c.state << " at " << c.left << "," << c.top);
    Select(c.state);
    Place(c.left, c.top);
    ClearLog();
    Tick(c.state, 150, 500);
    EXPECT_EQ(Pet().geometry.x, c.newLeft);
    EXPECT_EQ(Pet().geometry.y, c.newTop);
    EXPECT_EQ(EnabledTimers(), std::vector<int>{c.after});
    EXPECT_EQ(TimerWrites(), c.writes);
  }
}

TEST_F(SwimTest, CorrectsOneEdgePerTickRightFirst) {
  Select(1);
  Place(15100, 12100);
  Tick(1, 50, 500);
  EXPECT_EQ(Pet().geometry.x, 14500);
  EXPECT_EQ(Pet().geometry.y, 12100);
  EXPECT_EQ(EnabledTimers(), std::vector<int>{2});
  Tick(2, 50, 500);
  EXPECT_EQ(Pet().geometry.y, 11500);
}

TEST_F(SwimTest, TurnsWriteTheTimersInTheirOwnOrder) {
  struct Case { int state; std::vector<std::string> writes; };
  for (const Case& c : std::vector<Case>{
           {1, {"Timer3 on", "Timer1 off", "Timer2 off", "Timer4 off"}},
           {2, {"Timer4 on", "Timer1 off", "Timer2 off", "Timer3 off"}},
           {3, {"Timer1 off", "Timer3 off", "Timer2 on", "Timer4 off"}},
           {4, {"Timer1 on", "Timer2 off", "Timer3 off", "Timer4 off"}}}) {
    Select(c.state);
    Place(5000, 5000);
    ClearLog();
    Tick(c.state, 10, 50);
    EXPECT_EQ(TimerWrites(), c.writes) << "state " << c.state;
  }
}

TEST_F(SwimTest, TickStartsWithFocusTopBandAndFacingThenDraws) {
  Select(2);
  ClearLog();
  Tick(2, 10, 500);
  std::vector<std::string> head;
  for (const std::string& line : platform.log) {
    if (line.rfind("giveFocus", 0) == 0 || line.rfind("setWindowPos", 0) == 0 ||
        line.rfind("setControlVisible", 0) == 0 || line == "rnd")
      head.push_back(line.substr(0, line.find('(')));
  }
  EXPECT_EQ(head, (std::vector<std::string>{"giveFocus", "setWindowPos", "setControlVisible",
                                            "setControlVisible", "rnd", "rnd"}));
  EXPECT_EQ(platform.calls("setWindowPos").front().substr(0, 15), "setWindowPos(-1");
}

TEST_F(SwimTest, AFailingStepIsSkippedAndTheNextRuns) {
  Select(3);
  Place(5000, 5000);
  platform.failing = {"giveFocus", "setWindowPos"};
  Tick(3, 20, 500);
  EXPECT_TRUE(Pet().controlVisible(Form1::Image1));
  EXPECT_EQ(Pet().geometry.x, 4980);

  platform.failing = {"Timer3"};  // one write of the selection fails
  Place(0, 5000);
  Tick(3, 20, 500);
  EXPECT_EQ(Pet().geometry.x, 100);
  EXPECT_EQ(EnabledTimers(), (std::vector<int>{2, 3}));
}

TEST_F(SwimTest, TwoEnabledTimersBothTickUntilASelection) {
  Pet().timers = {true, false, true, false};
  Place(5000, 5000);
  Tick(1, 10, 500);
  Tick(3, 30, 500);
  EXPECT_EQ(Pet().geometry.x, 5000 + 10 - 30);
  EXPECT_EQ(Pet().geometry.y, 5010);
  Tick(3, 30, 50);  // state 3 turns: all four timers written
  EXPECT_EQ(EnabledTimers(), std::vector<int>{2});
}

TEST_F(SwimTest, StepsBelowAPixelLeaveTheWindowWhereItIs) {
  platform.tpp = 15;
  Select(4);
  Place(300, 300);
  Tick(4, 7, 500);
  EXPECT_EQ(Pet().geometry.x, 300);
  Tick(4, 8, 500);
  EXPECT_EQ(Pet().geometry.x, 301);
}

}  // namespace
}  // namespace guizzolo::test
