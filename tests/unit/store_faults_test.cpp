// The store file under faults: a symlinked file, a killed writer's
// leftovers, a folder that refuses temporary files while a writer is killed
// again and again, and folders that take no file at all. The writes that
// permissions must bind run in store_writer as the user nobody.
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "hunger/store.h"
#include "pet_fixture.h"
#include "platform/platform.h"
#include "platform/posix/files.h"
#include "platform/posix/user_folder.h"

extern char** environ;

namespace guizzolo::test {
namespace {

namespace fs = std::filesystem;



std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

pid_t Spawn(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

int ExitCode(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// store_writer once: 0 written, 2 refused, 3 failed.
int WriteAsUser(const fs::path& path, const std::string& bytes) {
  return ExitCode(Spawn({GUIZZOLO_STORE_WRITER, "once", path.string(), bytes}));
}

class StoreFaultsTest : public ::testing::Test {
 protected:
  StoreFaultsTest() {
    std::string pattern = (fs::temp_directory_path() / "guizzolo-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    chmod(root_.c_str(), 0755);  // reachable for the writer that is not root
    folder_ = root_ / "program";
    fs::create_directory(folder_);
  }
  ~StoreFaultsTest() override {
    for (const auto& entry : fs::recursive_directory_iterator(root_))
      if (!entry.is_symlink() && entry.is_directory()) chmod(entry.path().c_str(), 0755);
    fs::remove_all(root_);
  }
  fs::path Store() const { return folder_ / "Ph.ini"; }
  // The folder refuses new files to a writer that is not root.
  void RefuseNewFiles(const fs::path& folder) {
    chmod(folder.c_str(), geteuid() == 0 ? 0755 : 0555);
  }

  fs::path root_, folder_;
};

TEST_F(StoreFaultsTest, ASymlinkedStoreIsWrittenThroughItsLink) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link (in the program folder) -> target
    std::string target;  // the file that must hold the value, under root_
  };
  const Case table[] = {
      {"relative link to another folder", {{"Ph.ini", "../data/real.ini"}}, "data/real.ini"},
      {"absolute link", {{"Ph.ini", (fs::path("ROOT") / "data/real.ini").string()}}, "data/real.ini"},
      {"a chain of two links", {{"Ph.ini", "middle.ini"}, {"middle.ini", "../data/real.ini"}}, "data/real.ini"},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder_);
    fs::remove_all(root_ / "data");
    fs::create_directory(folder_);
    fs::create_directory(root_ / "data");
    PutFile(root_ / "data/real.ini", "42\r\n");
    for (auto [link, target] : c.links) {
      if (target.rfind("ROOT", 0) == 0) target = root_.string() + target.substr(4);
      fs::create_symlink(target, folder_ / link);
    }
    posix::writeFileWhole(Store().string(), "57\r\n");
    EXPECT_TRUE(fs::is_symlink(Store())) << "the link stays";
    EXPECT_EQ(FileBytes(root_ / c.target), "57\r\n");
    EXPECT_EQ(Entries(root_ / "data"), std::vector<std::string>{"real.ini"}) << "nothing left beside it";
  }
  // A link whose file is not there yet: the file is made where it points.
  fs::remove(root_ / "data/real.ini");
  posix::writeFileWhole(Store().string(), "100\r\n");
  EXPECT_TRUE(fs::is_symlink(Store()));
  EXPECT_EQ(FileBytes(root_ / "data/real.ini"), "100\r\n");
  // A loop is a fault, not a hang.
  fs::remove(Store());
  fs::create_symlink("Ph.ini", Store());
  EXPECT_THROW(posix::writeFileWhole(Store().string(), "1\r\n"), Failure);
}

TEST_F(StoreFaultsTest, AKilledWritersLeftoversGoAtTheNextWrite) {
  PutFile(Store(), "42\r\n");
  for (const char* name : {".Ph.ini.new-Ab12Cd", ".Ph.ini.new-XXXXXX", ".Ph.ini.new-zzzzzz"})
    PutFile(folder_ / name, "1");
  // Not ours, or still being written: they stay.
  const std::vector<std::string> others = {".Ph.ini.new-live01", ".Ph.ini.new-toolong", "Ph.ini.new-abcdef",
                                           ".Other.ini.new-abcdef", ".Ph.ini.new-link01", "Ph.ini.bak"};
  for (const std::string& name : others)
    if (name != ".Ph.ini.new-link01") PutFile(folder_ / name, "1");
  fs::create_symlink("Ph.ini.bak", folder_ / ".Ph.ini.new-link01");
  const int live = open((folder_ / ".Ph.ini.new-live01").c_str(), O_RDONLY);
  ASSERT_EQ(flock(live, LOCK_EX), 0);

  posix::writeFileWhole(Store().string(), "57\r\n");
  close(live);
  std::vector<std::string> expected = others;
  expected.push_back("Ph.ini");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Entries(folder_), expected);
  EXPECT_EQ(FileBytes(Store()), "57\r\n");
}

TEST_F(StoreFaultsTest, TheKindOfRefusalDecidesWhereTheValueGoes) {
  // As the user nobody, for whom permissions hold.
  struct Case {
    const char* name;
    mode_t folderMode;  // of a folder owned by root (or by the user running the tests)
    const char* before;  // nullptr: no Ph.ini
    mode_t fileMode;
    int result;  // 0 written, 2 refused (the user's copy takes over), 3 failed
  };
  const bool root = geteuid() == 0;
  const Case table[] = {
      {"read-only folder, no file", 0755, nullptr, 0, 2},
      {"read-only folder, a file nobody may write", 0755, "42\r\n", 0644, 2},
      {"read-only folder, a writable file: in place", 0755, "42\r\n", 0666, 0},
      {"writable folder, a file made read-only: it stays", 0777, "42\r\n", 0444, 3},
      {"writable folder", 0777, "42\r\n", 0666, 0},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.name);
    chmod(folder_.c_str(), 0755);
    fs::remove_all(folder_);
    fs::create_directory(folder_);
    if (c.before) {
      PutFile(Store(), c.before);
      chmod(Store().c_str(), root ? c.fileMode : (c.fileMode & 0700));
    }
    chmod(folder_.c_str(), root ? c.folderMode : (c.folderMode & 0700) | 0500);
    EXPECT_EQ(WriteAsUser(Store(), "57\r\n"), c.result);
    EXPECT_EQ(FileBytes(Store()), c.result == 0 ? "57\r\n" : c.before ? c.before : "(none)");
  }
}

// A writer killed at random moments while a reader reads on: in a folder
// that refuses temporary files the write goes in place, and every read sees
// one whole value, the old or the new.
TEST_F(StoreFaultsTest, KillBurstsInPlaceNeverShowAnEmptyOrPartialFile) {
  PutFile(Store(), "100\r\n");
  chmod(Store().c_str(), 0666);
  RefuseNewFiles(folder_);
  std::atomic<bool> done{false};
  std::atomic<long> reads{0}, bad{0};
  std::string badSample;
  std::thread reader([&] {
    while (!done) {
      try {
        const std::string field = FirstField(posix::readFilePrefix(Store().string(), 64));
        ++reads;
        if (field != "100" && field != "7" && ++bad == 1) badSample = field;
      } catch (const Failure&) {
        ++bad;  // the file is always there
      }
    }
  });
  std::mt19937 random(11);
  int kills = 0, badAfterKill = 0;
  for (; kills < 60; ++kills) {
    const pid_t writer = Spawn({GUIZZOLO_STORE_WRITER, "loop", Store().string(), "7\r\n", "100\r\n"});
    ASSERT_GT(writer, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 8000));
    kill(writer, SIGKILL);
    ExitCode(writer);
    const std::string field = FirstField(FileBytes(Store()));
    if (field != "100" && field != "7") ++badAfterKill;
  }
  done = true;
  reader.join();
  RecordProperty("reads", static_cast<int>(reads));
  RecordProperty("bad_reads", static_cast<int>(bad));
  RecordProperty("bad_after_kill", badAfterKill);
  EXPECT_EQ(badAfterKill, 0) << "of " << kills << " kills";
  EXPECT_EQ(bad, 0) << "of " << reads << " reads; e.g. \"" << badSample << "\"";
  EXPECT_GT(reads, 1000);
  EXPECT_EQ(Entries(folder_), std::vector<std::string>{"Ph.ini"});
}

TEST(UserFolder, StateFolderFromTheEnvironment) {
  const char* savedState = std::getenv("XDG_STATE_HOME");
  const char* savedHome = std::getenv("HOME");
  const std::string state = savedState ? savedState : "", home = savedHome ? savedHome : "";
  struct Case {
    const char *xdg, *home, *folder;
  };
  for (const Case& c : {Case{"/s", "/h", "/s/guizzolo"}, Case{nullptr, "/h", "/h/.local/state/guizzolo"},
                        Case{"relative", "/h", "/h/.local/state/guizzolo"},
                        Case{"", "/h", "/h/.local/state/guizzolo"}}) {
    if (c.xdg) setenv("XDG_STATE_HOME", c.xdg, 1);
    else unsetenv("XDG_STATE_HOME");
    setenv("HOME", c.home, 1);
    EXPECT_EQ(posix::userStateFolder(), c.folder) << (c.xdg ? c.xdg : "unset");
  }
  if (savedState) setenv("XDG_STATE_HOME", state.c_str(), 1);
  else unsetenv("XDG_STATE_HOME");
  if (savedHome) setenv("HOME", home.c_str(), 1);
  else unsetenv("HOME");
}

TEST_F(StoreFaultsTest, PrivateFoldersLeaveTheOnesAlreadyThere) {
  chmod(folder_.c_str(), 0751);
  posix::createPrivateFolders((folder_ / "a/b").string());
  struct stat st{};
  ASSERT_EQ(stat(folder_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0751u);
  for (const char* sub : {"a", "a/b"}) {
    ASSERT_EQ(stat((folder_ / sub).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << sub;
  }
  posix::createPrivateFolders((folder_ / "a/b").string());  // already there: fine
  PutFile(folder_ / "file", "");
  EXPECT_THROW(posix::createPrivateFolders((folder_ / "file/c").string()), Failure);
}

}  // namespace
}  // namespace guizzolo::test
