#include <algorithm>
#include <cmath>
#include <limits>

#include "app/module1.h"
#include "pet_fixture.h"

namespace guizzolo::test {
namespace {

using Startup = PetTest;

std::vector<std::string> Names(const std::vector<std::string>& log) {
  std::vector<std::string> names;
  for (const std::string& line : log) {
    const std::string name = line.substr(0, line.find('('));
    if (name != "rect" && name.rfind("twipsPerPixel", 0) != 0) names.push_back(name);
  }
  return names;
}

TEST_F(Startup, LoadRunsItsSixStepsInOrderThenShows) {
  Start();
  EXPECT_EQ(Names(platform.log),
            (std::vector<std::string>{"claimFile", "createWindow", "open", "setAutoStart", "setWindowPos",
                                      "randomize", "setBackColour", "getWindowLong", "setWindowLong",
                                      "setLayeredWindowAttributes", "show"}));
  EXPECT_EQ(platform.calls("open")[0], "open(" + folder_.string() + "/Sound.wav)");
  EXPECT_EQ(platform.calls("randomize")[0], "randomize(12345.500000)");
  EXPECT_EQ(Pet().backColour, 0x00FFFF00u);
  EXPECT_EQ(Pet().exStyle, 0x00080000);
  EXPECT_EQ(platform.calls("setLayeredWindowAttributes")[0],
            "setLayeredWindowAttributes(16776960,0,1)");
  EXPECT_TRUE(Pet().topMost);
  EXPECT_TRUE(Pet().visible);
  EXPECT_EQ(EnabledTimers(), std::vector<int>{1});
  EXPECT_FALSE(Pet().controlVisible(Form1::Image1));
  EXPECT_FALSE(Pet().controlVisible(Form1::Image2));
  EXPECT_EQ(Panel(), nullptr) << "the panel waits for the first tick";
}


TEST_F(Startup, FailingStepsAreSkippedOneByOne) {
  struct Case { std::string failing; std::vector<std::string> missing; };
  for (const Case& c : std::vector<Case>{
           {"open", {}},                          // no sound file: still layered, still on top
           {"setWindowPos", {}},                  // stays in the ordinary band, rest goes on
           {"getWindowLong", {"setWindowLong"}},  // the read and the write are one step
       }) {
    SCOPED_TRACE(c.failing);
    fake::FakePlatform local(folder_.string());
    local.failing = {c.failing};
    Program p(local);
    p.Start();
    const auto names = Names(local.log);
    for (const char* expected : {"setAutoStart", "randomize", "setBackColour", "setLayeredWindowAttributes", "show"})
      EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    for (const std::string& skipped : c.missing)
      EXPECT_EQ(std::find(names.begin(), names.end(), skipped), names.end()) << skipped;
  }
}

TEST_F(Startup, PetCopyHoldsItsLayoutTextUntilTheFirstTick) {
  WriteStoreBytes("40\r\n");
  Start();
  EXPECT_EQ(program.form1.Text1.Text, "100");
  Tick(1);
  EXPECT_EQ(program.form1.Text1.Text, "40");
}

TEST(ToPixels, RoundsHalfToEvenAndRefusesWhatDoesNotFit) {
  struct Case { double twips; float tpp; int pixels; };
  for (const Case c : {Case{1000, 15, 67}, Case{112.5, 15, 8}, Case{97.5, 15, 6}, Case{-97.5, 15, -6},
                       Case{-1500, 15, -100}, Case{0, 15, 0}, Case{1305, 15, 87}}) {
    EXPECT_EQ(ToPixels(c.twips, c.tpp), c.pixels) << c.twips;
  }
  for (const double bad : {1e12, -1e12, std::numeric_limits<double>::quiet_NaN()})
    EXPECT_THROW(ToPixels(bad, 15), Failure) << bad;
  EXPECT_THROW(ToPixels(100, 0), Failure);
}

TEST_F(Startup, SetTopMostActsOnlyOnTrueAndFalse) {
  Start();
  Pet().geometry = {-5, -7, 87, 53};
  struct Case { std::int16_t value; const char* call; };
  for (const Case c : {Case{kTrue, "setWindowPos(-1,-5,-7,87,53,80)"},
                       Case{kFalse, "setWindowPos(-2,-5,-7,87,53,80)"}, Case{1, nullptr},
                       Case{-2, nullptr}, Case{0x7FFF, nullptr}}) {
    platform.log.clear();
    SetTopMost(program.form1, c.value);
    const auto calls = platform.calls("setWindowPos");
    if (c.call == nullptr) {
      EXPECT_TRUE(platform.log.empty()) << c.value;
    } else {
      EXPECT_EQ(calls, std::vector<std::string>{c.call});
    }
  }
}

TEST_F(Startup, SetTopMostFailureEndsItBeforeTheWindowSystemCall) {
  Start();
  platform.tpp = 0;
  platform.log.clear();
  EXPECT_THROW(SetTopMost(program.form1, kTrue), Failure);
  EXPECT_TRUE(platform.calls("setWindowPos").empty());
}

}  // namespace
}  // namespace guizzolo::test
