#include "pet_fixture.h"

namespace guizzolo::test {
namespace {

class PanelTest : public PetTest {
 protected:
  void SetUp() override {
    WriteStoreBytes("57\r\n");
    Start();
    Tick(1);  // loads the panel, hidden
  }
  Form2& form2() { return program.form2; }
};

TEST_F(PanelTest, LoadsHiddenAtTheFirstTickWithBothCopiesAndTheDateLine) {
  ASSERT_NE(Panel(), nullptr);
  EXPECT_FALSE(Panel()->visible);
  EXPECT_EQ(HungerField(), "57");
  EXPECT_EQ(program.form1.Text1.Text, "57");
  EXPECT_EQ(Panel()->texts[Form2::Label4], "Oggi è 07/12/2026 e sono le ore 04:25:48");
  platform.log.clear();
  Tick(1);
  EXPECT_TRUE(platform.calls("readFile").empty()) << "a loaded panel is not loaded again";
}

TEST_F(PanelTest, FeedingSetsAllThreeCopiesToAHundred) {
  for (int press = 0; press < 2; ++press) {
    form2().Command2_Click();
    EXPECT_EQ(HungerField(), "100");
    EXPECT_EQ(program.form1.Text1.Text, "100");
    EXPECT_EQ(StoreBytes(), "100\r\n");
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(EnabledTimers(), std::vector<int>{1});
  }
}

TEST_F(PanelTest, ClosingStoresThePetCopyRestartsStateOneAndPutsThePetOnTop) {
  Tick(1, 10, 950);  // field 56, pet copy still 57
  for (int id = 1; id <= 4; ++id) Pet().timers[static_cast<std::size_t>(id - 1)] = id == 3;
  Pet().topMost = false;
  platform.log.clear();
  Panel()->events.closeRequested();
  EXPECT_EQ(Panel(), nullptr);
  EXPECT_EQ(StoreBytes(), "57\r\n");
  EXPECT_EQ(EnabledTimers(), (std::vector<int>{1, 3})) << "only Timer1 is written";
  EXPECT_TRUE(Pet().topMost);
  EXPECT_EQ(platform.calls("Timer"), std::vector<std::string>{"Timer1 on"});
  Tick(1);
  EXPECT_NE(Panel(), nullptr) << "the next state-1 tick loads it again";
}

TEST_F(PanelTest, ClosingWithAnEmptyPetCopyStoresAnEmptyLine) {
  program.form1.Text1.Text = "";
  form2().Unload();
  EXPECT_EQ(StoreBytes(), "\r\n");
}

TEST_F(PanelTest, ExitRemovesThePetThenThanksThenEndsWithoutSaving) {
  Tick(1, 10, 950);
  platform.log.clear();
  platform.duringBox = [&] { EXPECT_EQ(platform.window("Form1"), nullptr) << "pet gone first"; };
  EXPECT_THROW(form2().Command1_Click(), fake::ProgramEnded);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].style, 64);
  EXPECT_EQ(platform.boxes[0].title, "Guizzolo");
  EXPECT_EQ(platform.boxes[0].text, Form2::kCreditLine);
  EXPECT_EQ(StoreBytes(), "57\r\n");
  EXPECT_EQ(platform.log.back(), "end");
}

TEST_F(PanelTest, WebLinkOpensTheAddressAndChangesNothingElse) {
  platform.log.clear();
  platform.failing = {"openUrl"};
  form2().Label1_Click();
  EXPECT_EQ(platform.calls("openUrl"), std::vector<std::string>{"openUrl(https://guizzolo.example.org/)"});
  EXPECT_EQ(platform.log.size(), 1u);
  EXPECT_FALSE(Panel()->visible);
}

TEST_F(PanelTest, AStoreThatCannotBeWrittenStillFeeds) {
  platform.failing = {"writeFile"};
  form2().Command2_Click();
  EXPECT_EQ(HungerField(), "100");
  EXPECT_EQ(StoreBytes(), "57\r\n");
}

TEST_F(PanelTest, ControlsRouteToTheirRoutines) {
  Panel()->events.click(Form2::Command2);
  EXPECT_EQ(StoreBytes(), "100\r\n");
  Panel()->events.click(Form2::Label1);
  EXPECT_EQ(platform.calls("openUrl").size(), 1u);
  EXPECT_THROW(Panel()->events.click(Form2::Command1), fake::ProgramEnded);
}

}  // namespace
}  // namespace guizzolo::test
