#include "hunger/hunger_clock.h"

#include "pet_fixture.h"

namespace guizzolo::test {
namespace {

class HungerClockTest : public PetTest {
 protected:
  // Starts the pet with this text in the hunger store, the panel loaded.
  void StartWith(const std::string& stored) {
    if (!stored.empty()) WriteStoreBytes(stored + "\r\n");
    Start();
    Tick(1, 100, 500);
  }
  // A state-1 tick that makes a hunger step; false when the program ended.
  bool Step(int e = 950) {
    try {
      Tick(1, 10, e);
      return true;
    } catch (const fake::ProgramEnded&) {
      return false;
    }
  }
};

TEST_F(HungerClockTest, StepsDownAndComplainsAtTwentyAndTen) {
  struct Case { std::string stored, separator, after; const char* box; };
  for (const Case& c : std::vector<Case>{
           {"", ".", "99", nullptr},        {"21", ".", "20", kHungerAlert},
           {"20", ".", "19", nullptr},      {"11", ".", "10", kHungerAlert},
           {"10", ".", "9", nullptr},       {"2", ".", "1", nullptr},
           {"150", ".", "149", nullptr},    {"20,5", ",", "19,5", nullptr},
           {"20.5", ",", "19,5", nullptr},  {" 42 ", ".", "41", nullptr},
           {"1e308", ".", "1e+308", nullptr}}) {
    SCOPED_TRACE(c.stored);
    fake::FakePlatform local(folder_.string());
    local.separator = c.separator;
    Program p(local);
    WriteStoreBytes(c.stored + "\r\n");
    p.Start();
    local.draw(10, 950);
    local.tick("Form1", 1);
    EXPECT_EQ(local.window("NuvoNuvo di Tarvisco")->texts[Form2::Text1], c.after);
    if (c.box == nullptr) {
      EXPECT_TRUE(local.boxes.empty());
    } else {
      ASSERT_EQ(local.boxes.size(), 1u);
      EXPECT_EQ(local.boxes[0].text, c.box);
      EXPECT_EQ(local.boxes[0].style, 16);
      EXPECT_EQ(local.boxes[0].title, "Guizzolo");
    }
  }
}

TEST_F(HungerClockTest, AValueStoredUnderAnotherLocaleKeepsTheFishAlive) {
  // Written under the locale on the left, read under the one on the right.
  struct Case { std::string stored, separator, after; };
  for (const Case& c : std::vector<Case>{
           {"19\xd9\xab" "5", ".", "18.5"},  {"19\xd9\xab" "5", ",", "18,5"},
           {"19.5", "\xd9\xab", "18\xd9\xab" "5"}, {"19,5", ".", "18"},  // the comma ends the field
           {"\"19,5\"", ".", "18.5"}}) {
    SCOPED_TRACE(c.stored + " read with " + c.separator);
    fake::FakePlatform local(folder_.string());
    local.separator = c.separator;
    Program p(local);
    WriteStoreBytes(c.stored + "\r\n");
    p.Start();
    local.draw(10, 950);
    EXPECT_NO_THROW(local.tick("Form1", 1)) << "the fish died";
    EXPECT_EQ(local.window("NuvoNuvo di Tarvisco")->texts[Form2::Text1], c.after);
    EXPECT_TRUE(local.boxes.empty());
  }
}

TEST_F(HungerClockTest, StepsOnlyOnEventNumbers901To999) {
  StartWith("50");
  for (const auto& [e, expected] : {std::pair{900, "50"}, {1000, "50"}, {901, "49"}, {999, "48"}}) {
    Tick(1, 10, e);
    EXPECT_EQ(HungerField(), expected) << e;
  }
}

TEST_F(HungerClockTest, OtherStatesNeverStep) {
  StartWith("50");
  for (int state = 2; state <= 4; ++state) {
    for (int id = 1; id <= 4; ++id) Pet().timers[static_cast<std::size_t>(id - 1)] = id == state;
    Tick(state, 10, 950);
  }
  EXPECT_EQ(HungerField(), "50");
}

TEST_F(HungerClockTest, DiesBelowOneWithoutTouchingTheStore) {
  for (const std::string stored : {"1", "abc", "-5", "0,5", "NaN", "inf"}) {
    SCOPED_TRACE(stored);
    fake::FakePlatform local(folder_.string());
    Program p(local);
    WriteStoreBytes(stored + "\r\n");
    p.Start();
    local.draw(10, 950);
    EXPECT_THROW(local.tick("Form1", 1), fake::ProgramEnded);
    ASSERT_EQ(local.boxes.size(), 1u);
    EXPECT_EQ(local.boxes[0].text, "Ops!!!  Il guizzolo è morto :-(");
    EXPECT_EQ(local.boxes[0].style, 16);
    EXPECT_EQ(StoreBytes(), stored + "\r\n");
    EXPECT_EQ(local.log.back(), "end") << "nothing runs after the end";
  }
}

TEST_F(HungerClockTest, AfterTheAlertTheSameTickStillMoves) {
  StartWith("21");
  const int x = Pet().geometry.x;
  Tick(1, 30, 950);
  EXPECT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(Pet().geometry.x, x + 2) << "30 twips at 15 twips a pixel";
}

TEST_F(HungerClockTest, PetCopyLagsOneTickBehindTheField) {
  StartWith("50");
  Tick(1, 10, 950);
  EXPECT_EQ(HungerField(), "49");
  EXPECT_EQ(program.form1.Text1.Text, "50");
  Tick(1, 10, 500);
  EXPECT_EQ(program.form1.Text1.Text, "49");
}

TEST_F(HungerClockTest, FirstStartCountsFromAnEmptyField) {
  Start();
  Tick(1, 10, 500);
  EXPECT_EQ(HungerField(), "");
  EXPECT_FALSE(Panel()->visible);
  EXPECT_TRUE(Step());
  EXPECT_EQ(HungerField(), "99");
}

}  // namespace
}  // namespace guizzolo::test
