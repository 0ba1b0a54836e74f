// One store, one running pet: a second copy started on the same store ends
// at once without touching anything, so no feed is lost to the last writer;
// copies with stores of their own run side by side.
#include <memory>

#include "hunger/store.h"
#include "pet_fixture.h"

namespace guizzolo::test {
namespace {

namespace fs = std::filesystem;

struct Copy {
  explicit Copy(const fs::path& folder, const fs::path& userFolder = {})
      : platform(folder.string()), program(platform) {
    platform.userFolderPath = userFolder.string();
  }
  // True when the copy started; false when it ended at once.
  bool Start() {
    try {
      program.Start();
      return true;
    } catch (const fake::ProgramEnded&) {
      return false;
    }
  }
  fake::FakePlatform platform;
  Program program;
};

class OnePetPerStoreTest : public ::testing::Test {
 protected:
  OnePetPerStoreTest() : root_(MakeTempFolder()) {}
  ~OnePetPerStoreTest() override { fs::remove_all(root_); }
  fs::path root_;
};

TEST_F(OnePetPerStoreTest, ASecondCopyOnTheSameStoreEndsAtOnceAndTouchesNothing) {
  PutFile(root_ / "a" / "Ph.ini", "54\r\n");
  auto first = std::make_unique<Copy>(root_ / "a");
  ASSERT_TRUE(first->Start());
  Copy second(root_ / "a");
  EXPECT_FALSE(second.Start());
  EXPECT_EQ(second.platform.log,
            (std::vector<std::string>{"claimFile(" + (root_ / "a" / "Ph.ini").string() + ")", "end"}))
      << "no window, no sound, no read";
  EXPECT_EQ(FileBytes(root_ / "a" / "Ph.ini"), "54\r\n");

  Copy elsewhere(root_ / "b");
  EXPECT_TRUE(elsewhere.Start()) << "another folder, another store";

  first.reset();  // the first copy ends
  Copy again(root_ / "a");
  EXPECT_TRUE(again.Start());
}

TEST_F(OnePetPerStoreTest, CopiesInFoldersThatTakeNoFileShareTheUserStore) {
  const fs::path user = root_ / "home" / ".local/state/guizzolo";
  Copy first(root_ / "usr", user);
  first.platform.refusing = {(root_ / "usr").string()};
  ASSERT_TRUE(first.Start());
  EXPECT_TRUE(fs::is_directory(user)) << "made to be claimed";
  Copy second(root_ / "opt", user);
  second.platform.refusing = {(root_ / "opt").string()};
  EXPECT_FALSE(second.Start()) << "both would store in the user's copy";
  Copy portable(root_ / "portable", user);
  EXPECT_TRUE(portable.Start()) << "a writable folder keeps its own store";
}

}  // namespace
}  // namespace guizzolo::test
