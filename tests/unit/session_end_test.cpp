// The session ends (logout, shutdown, a terminating signal): a loaded panel
// is unloaded, so the day's hunger reaches Ph.ini, and the program ends.
#include "hunger/hunger_clock.h"

#include "pet_fixture.h"

namespace guizzolo::test {
namespace {

class SessionEndTest : public PetTest {
 protected:
  void SetUp() override { WriteStoreBytes("57\r\n"); }
  // Swims until the hunger field is 55 and the pet copy 56.
  void SwimTwoSteps() {
    Start();
    Tick(1);
    Tick(1, 10, 950);
    Tick(1);
    Tick(1, 10, 950);
    ASSERT_EQ(HungerField(), "55");
    ASSERT_EQ(program.form1.Text1.Text, "56");
  }
  void EndSession() { EXPECT_THROW(program.EndSession(), fake::ProgramEnded); }
};

TEST_F(SessionEndTest, ALoadedPanelStoresThePetCopyAndTheProgramEnds) {
  for (const bool shown : {false, true}) {
    SCOPED_TRACE(shown ? "panel shown by a press" : "panel loaded, hidden");
    WriteStoreBytes("57\r\n");
    fake::FakePlatform local(folder_.string());
    Program p(local);
    p.Start();
    for (const int e : {500, 950, 500, 950}) {
      local.draw(10, e);
      local.tick("Form1", 1);
    }
    ASSERT_EQ(p.form1.Text1.Text, "56");
    if (shown) {
      local.window("Form1")->events.mouseDown(Form1::Image2, static_cast<int>(MouseButton::Right));
      ASSERT_TRUE(local.window("NuvoNuvo di Tarvisco")->visible);
    }
    local.log.clear();
    EXPECT_THROW(p.EndSession(), fake::ProgramEnded);
    EXPECT_EQ(StoreBytes(), "56\r\n") << "the pet copy, as the panel's unload stores it";
    EXPECT_EQ(local.window("NuvoNuvo di Tarvisco"), nullptr) << "the panel was unloaded";
    ASSERT_FALSE(local.log.empty());
    EXPECT_EQ(local.log.back(), "end");
    EXPECT_EQ(local.calls("writeFile").size(), 1u);
    EXPECT_TRUE(local.calls("readFile").empty()) << "nothing loaded again";
    EXPECT_TRUE(local.boxes.empty());
  }
}

TEST_F(SessionEndTest, WithoutAPanelNothingIsWrittenAndTheProgramEnds) {
  Start();  // no tick yet: the panel is not loaded
  platform.log.clear();
  EndSession();
  EXPECT_EQ(StoreBytes(), "57\r\n");
  EXPECT_EQ(platform.log, std::vector<std::string>{"end"}) << "no window loaded, no file touched";
}

TEST_F(SessionEndTest, FailingUnloadStepsStillEndTheProgram) {
  SwimTwoSteps();
  platform.failing = {"setWindowPos", "Timer1", "writeFile"};
  platform.log.clear();
  EndSession();
  EXPECT_EQ(StoreBytes(), "57\r\n");
  EXPECT_EQ(platform.log.back(), "end");
}

TEST_F(SessionEndTest, DuringAHungerAlertThePetCopyIsStored) {
  WriteStoreBytes("21\r\n");
  Start();
  Tick(1);
  platform.duringBox = [&] { program.EndSession(); };
  EXPECT_THROW(Tick(1, 10, 950), fake::ProgramEnded);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, kHungerAlert);
  EXPECT_EQ(StoreBytes(), "21\r\n") << "the pet copy lags one step behind the field's 20";
}

TEST_F(SessionEndTest, DuringTheDeathMessageNothingIsSaved) {
  WriteStoreBytes("2\r\n");
  Start();
  Tick(1);
  Tick(1, 10, 950);  // the field 1, the pet copy still 2
  Tick(1);
  platform.duringBox = [&] { program.EndSession(); };
  platform.log.clear();
  EXPECT_THROW(Tick(1, 10, 950), fake::ProgramEnded);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, kDeathMessage);
  EXPECT_EQ(StoreBytes(), "2\r\n");
  EXPECT_TRUE(platform.calls("writeFile").empty());
}

TEST_F(SessionEndTest, OnceTheExitButtonRemovedThePetNothingIsSaved) {
  SwimTwoSteps();
  platform.duringBox = [&] { program.EndSession(); };  // at the credit message
  EXPECT_THROW(program.form2.Command1_Click(), fake::ProgramEnded);
  EXPECT_EQ(StoreBytes(), "57\r\n");
  EXPECT_EQ(platform.window("Form1"), nullptr) << "the pet does not come back";
  EXPECT_EQ(platform.calls("open(").size(), 1u) << "only the start-up sound";
}

}  // namespace
}  // namespace guizzolo::test
