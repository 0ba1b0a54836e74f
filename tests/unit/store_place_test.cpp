// Where the hunger value lives: beside the program, or in the user's own
// copy when the program folder takes no file; nowhere when the program
// folder is not known.
#include <sys/stat.h>

#include "hunger/store.h"
#include "pet_fixture.h"
#include "sound/sound_player.h"

namespace guizzolo::test {
namespace {

namespace fs = std::filesystem;



class StorePlaceTest : public PetTest {
 protected:
  StorePlaceTest() : home_(MakeTempFolder()) {
    platform.userFolderPath = (home_ / ".local/state/guizzolo").string();
  }
  ~StorePlaceTest() override { fs::remove_all(home_); }

  fs::path UserStore() const { return home_ / ".local/state/guizzolo/Ph.ini"; }

  fs::path home_;
};

TEST_F(StorePlaceTest, EachPlaceAsTheFoldersAllow) {
  struct Case {
    const char* name;
    bool folderTakesFiles, userFolderTakesFiles;
    const char *programBefore, *userBefore;  // nullptr: no such file
    const char *read, *programAfter, *userAfter;
  };
  const Case table[] = {
      {"portable copy in a writable folder", true, true, "42\r\n", nullptr, "42", "57\r\n", "(none)"},
      {"first start, writable folder", true, true, nullptr, nullptr, "", "57\r\n", "(none)"},
      {"read-only folder: the user's copy begins", false, true, "42\r\n", nullptr, "42", "42\r\n", "57\r\n"},
      {"read-only folder, first start", false, true, nullptr, nullptr, "", "(none)", "57\r\n"},
      // Another copy of the program (installed, read-only) made the user's
      // copy; a portable copy in a writable folder keeps to its own file.
      {"a writable folder ignores the user's copy", true, true, "42\r\n", "30\r\n", "42", "57\r\n",
       "30\r\n"},
      {"the user's copy of a read-only folder", false, true, "42\r\n", "30\r\n", "30", "42\r\n", "57\r\n"},
      {"neither place takes the file: both stay", false, false, "42\r\n", nullptr, "42", "42\r\n", "(none)"},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.name);
    fs::remove_all(home_ / ".local");
    fs::remove(StorePath());
    platform.refusing.clear();
    if (!c.folderTakesFiles) platform.refusing.insert(folder_.string());
    if (!c.userFolderTakesFiles) platform.refusing.insert(home_.string());
    if (c.programBefore) WriteStoreBytes(c.programBefore);
    if (c.userBefore) PutFile(UserStore(), c.userBefore);

    EXPECT_EQ(ReadStore(platform), c.read);
    WriteStore(platform, "57");
    EXPECT_EQ(FileBytes(StorePath()), c.programAfter);
    EXPECT_EQ(FileBytes(UserStore()), c.userAfter);
    if (std::string(c.userAfter) == "57\r\n") {
      EXPECT_EQ(ReadStore(platform), "57") << "read back from the place it went";
      WriteStore(platform, "56");
      EXPECT_EQ(FileBytes(UserStore()), "56\r\n") << "and written there from then on";
      EXPECT_EQ(FileBytes(StorePath()), c.programAfter);
    }
  }
}

TEST_F(StorePlaceTest, TheUsersFoldersAreMadePrivate) {
  platform.refusing.insert(folder_.string());
  WriteStore(platform, "57");
  for (const fs::path& folder : {home_ / ".local", home_ / ".local/state", home_ / ".local/state/guizzolo"}) {
    struct stat st{};
    ASSERT_EQ(stat(folder.c_str(), &st), 0) << folder;
    EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
  }
}

TEST_F(StorePlaceTest, WithoutAUserFolderAReadOnlyFolderKeepsItsFile) {
  platform.userFolderPath.clear();
  platform.refusing.insert(folder_.string());
  WriteStoreBytes("42\r\n");
  EXPECT_EQ(ReadStore(platform), "42");
  WriteStore(platform, "57");
  EXPECT_EQ(StoreBytes(), "42\r\n");
  EXPECT_TRUE(platform.calls("createFolders").empty());
}

TEST_F(StorePlaceTest, AnyOtherWriteFaultDoesNotMoveTheStore) {
  // A full disk, say: not a folder that refuses the file.
  WriteStoreBytes("42\r\n");
  platform.failing = {"writeFile"};
  WriteStore(platform, "57");
  platform.failing.clear();
  EXPECT_EQ(StoreBytes(), "42\r\n");
  EXPECT_FALSE(fs::exists(home_ / ".local")) << "no user copy for a passing fault";
}

TEST(UnknownProgramFolder, NothingIsReadOrWrittenAnywhere) {
  // The folder of an executable that could not be found: a bare name would
  // land at /Ph.ini or wherever the program was started from.
  const fs::path home = MakeTempFolder();
  fake::FakePlatform platform("");
  platform.userFolderPath = (home / "state").string();
  const bool rootStoreBefore = fs::exists("/Ph.ini");
  EXPECT_EQ(ReadStore(platform), "");
  WriteStore(platform, "57");
  PlaySoundFile(platform, "Sound.wav");
  EXPECT_TRUE(platform.calls("readFile").empty());
  EXPECT_TRUE(platform.calls("writeFile").empty());
  EXPECT_TRUE(platform.calls("open").empty()) << "no wave file of another folder";
  EXPECT_EQ(fs::exists("/Ph.ini"), rootStoreBefore);
  EXPECT_FALSE(fs::exists(home / "state"));
  fs::remove_all(home);
}

}  // namespace
}  // namespace guizzolo::test
