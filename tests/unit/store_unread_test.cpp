// A store that is there but cannot be read for a moment (held open by a
// backup or a virus scan, no read permission): its value is unknown, not
// absent. It is read again at the next ticks, and nothing but a feed writes
// over it, so the value survives.
#include <sys/stat.h>

#include "hunger/store.h"
#include "pet_fixture.h"
#include "platform/posix/files.h"

namespace guizzolo::test {
namespace {

TEST(ReadFilePrefix, TellsAMissingFileFromOneThatCannotBeRead) {
  const std::filesystem::path folder = MakeTempFolder();
  PutFile(folder / "file", "30\r\n");
  std::filesystem::create_directory(folder / "folder");
  struct Case { std::filesystem::path path; bool missing; };
  for (const Case& c : std::vector<Case>{{folder / "none", true},
                                         {folder / "none" / "Ph.ini", true},
                                         {folder / "file" / "Ph.ini", true},
                                         {folder / "folder", false}}) {
    try {
      posix::readFilePrefix(c.path.string(), 16);
      ADD_FAILURE() << c.path << " was read";
    } catch (const Missing&) {
      EXPECT_TRUE(c.missing) << c.path << " taken for a missing file";
    } catch (const Failure&) {
      EXPECT_FALSE(c.missing) << c.path << " taken for an unreadable file";
    }
  }
  std::filesystem::remove_all(folder);
}

class StoreUnreadTest : public PetTest {
 protected:
  void SetUp() override {
    WriteStoreBytes("30\r\n");
    Start();
    platform.failing = {"readFile"};
    Tick(1);  // loads the panel; its read fails
    ASSERT_EQ(HungerField(), "");
  }
  // Ticks of state 1 that step the hunger value, until the retries are over.
  void TickPastTheRetries() {
    for (int i = 0; i < Form2::kStoreRetries; ++i) Tick(1, 10, 950);
  }
};

TEST_F(StoreUnreadTest, AReadThatSucceedsAtALaterTickBringsTheValue) {
  platform.failing.clear();
  Tick(1);
  EXPECT_EQ(HungerField(), "30");
  EXPECT_EQ(program.form1.Text1.Text, "30");
  platform.log.clear();
  Tick(1);
  EXPECT_TRUE(platform.calls("readFile").empty()) << "read once the value is known";
  program.form2.Unload();
  EXPECT_EQ(StoreBytes(), "30\r\n");
  EXPECT_EQ(platform.calls("writeFile").size(), 1u) << "a known value is stored again as usual";
}

TEST_F(StoreUnreadTest, AStoreThatStaysUnreadableIsNeverWrittenOverButByAFeed) {
  TickPastTheRetries();
  EXPECT_EQ(platform.calls("readFile(").size(), 1u + Form2::kStoreRetries);
  EXPECT_EQ(HungerField(), "80") << "the pet goes on as with no value";
  platform.failing.clear();
  platform.log.clear();
  Tick(1);
  EXPECT_TRUE(platform.calls("readFile").empty()) << "the retries are over";
  platform.failing = {"readFile"};
  // Closed by hand, closed by a press on the left-facing fish, and at a
  // session end: the file keeps its value.
  program.form2.Unload();
  EXPECT_EQ(StoreBytes(), "30\r\n");
  program.form1.Image1_MouseDown(static_cast<int>(MouseButton::Right));
  EXPECT_EQ(StoreBytes(), "30\r\n");
  EXPECT_THROW(program.EndSession(), fake::ProgramEnded);
  EXPECT_EQ(StoreBytes(), "30\r\n");
  EXPECT_TRUE(platform.calls("writeFile").empty());
}

TEST_F(StoreUnreadTest, AFeedWritesAndTheValueIsStoredFromThenOn) {
  program.form2.Command2_Click();
  EXPECT_EQ(StoreBytes(), "100\r\n");
  Tick(1, 10, 950);
  Tick(1);
  program.form2.Unload();
  EXPECT_EQ(StoreBytes(), "99\r\n");
}

TEST_F(StoreUnreadTest, AFileGoneMeanwhileLeavesTheValueThePetMade) {
  Tick(1, 10, 950);
  ASSERT_EQ(HungerField(), "99");
  std::filesystem::remove(StorePath());
  platform.failing.clear();
  Tick(1);
  EXPECT_EQ(HungerField(), "99");
  program.form2.Unload();
  EXPECT_EQ(StoreBytes(), "99\r\n") << "no file to keep: stored as usual";
}

TEST_F(StoreUnreadTest, AMissingStoreIsNoValueAndIsWritten) {
  program.form2.Unload();
  std::filesystem::remove(StorePath());
  platform.failing.clear();
  platform.log.clear();
  Tick(1);
  Tick(1);
  EXPECT_EQ(platform.calls("readFile").size(), 1u) << "a missing file is not read again";
  program.form2.Unload();
  EXPECT_EQ(StoreBytes(), "\r\n");
}

}  // namespace
}  // namespace guizzolo::test
