#include "hunger/store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "pet_fixture.h"
#include "platform/posix/files.h"

namespace guizzolo::test {
namespace {

TEST(FirstField, ReadsTheFirstFieldOfTheFirstLine) {
  struct Case { std::string content, field; };
  for (const Case& c : std::vector<Case>{
           {"57\r\n", "57"},       {"42,17\r\n", "42"},   {"\"4,2\"\r\n", "4,2"}, {"\r\n", ""},
           {"\n42\r\n", ""},       {"", ""},              {"42", "42"},           {" 42 \r\n", "42"},
           {"  \"7\" ,x", "7"},    {"\"open", "open"},     {"abc\r\n", "abc"},     {"1\r2", "1"},
           {std::string("4\0" "2", 3), std::string("4\0" "2", 3)},
           // An editor's UTF-8 save begins with a byte order mark.
           {"\xEF\xBB\xBF" "80\r\n", "80"}, {"\xEF\xBB\xBF" " \"7\"", "7"}, {"\xEF\xBB\xBF", ""},
           {"\xEF\xBB" "80", "\xEF\xBB" "80"}, {"\xEF\xBB\xBF" "\xEF\xBB\xBF" "8", "\xEF\xBB\xBF" "8"}}) {
    EXPECT_EQ(FirstField(c.content), c.field) << c.content;
  }
}

TEST(FirstField, ADecimalCommaBelongsToTheNumberWhereTheLocaleUsesIt) {
  struct Case { std::string content, separator, field; };
  for (const Case& c : std::vector<Case>{
           {"20,5\r\n", ",", "20,5"}, {"20,5\r\n", ".", "20"},   {"42,17,3", ",", "42,17"},
           {"-1,5", ",", "-1,5"},     {"abc,5", ",", "abc"},      {"4,x", ",", "4"},
           {"4,", ",", "4"},          {",5", ",", ""},            {"1e3,5", ",", "1e3"}}) {
    EXPECT_EQ(FirstField(c.content, c.separator), c.field) << c.content << " " << c.separator;
  }
}

class StoreTest : public PetTest {};

TEST_F(StoreTest, ReadsNothingFromWhatIsNotAReadableFile) {
  EXPECT_EQ(ReadStore(platform), "") << "missing";
  std::filesystem::create_directory(StorePath());
  EXPECT_EQ(ReadStore(platform), "") << "a folder named like the store";
  std::filesystem::remove(StorePath());
  WriteStoreBytes("42\r\n");
  platform.failing = {"readFile"};
  EXPECT_EQ(ReadStore(platform), "") << "refused read";
}

TEST_F(StoreTest, ReadsOnlyTheStartOfAHugeFile) {
  std::string junk(50 << 20, 'x');
  std::mt19937 random(7);
  for (char& c : junk) c = static_cast<char>(random() % 256);
  junk[0] = '5';
  junk[1] = '\r';
  WriteStoreBytes(junk);
  platform.log.clear();
  EXPECT_EQ(ReadStore(platform), "5");
  std::string endless(50 << 20, '7');
  WriteStoreBytes(endless);
  EXPECT_LE(ReadStore(platform).size(), 4096u);
}

TEST_F(StoreTest, WritesTheTextAndCrLfAndNothingElse) {
  WriteStoreBytes("an older and much longer content\r\n");
  WriteStore(platform, "57");
  EXPECT_EQ(StoreBytes(), "57\r\n");
  WriteStore(platform, "");
  EXPECT_EQ(StoreBytes(), "\r\n");
  EXPECT_EQ(ReadStore(platform), "");
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_)) ++files;
  EXPECT_EQ(files, 1) << "no temporary file is left behind";
}

TEST_F(StoreTest, AFailedWriteKeepsTheOldFileAndLeavesNoLitter) {
  WriteStoreBytes("42\r\n");
  platform.failing = {"writeFile"};
  WriteStore(platform, "100");
  EXPECT_EQ(StoreBytes(), "42\r\n");

  platform.failing = {};
  std::filesystem::remove(StorePath());
  std::filesystem::create_directory(StorePath());
  WriteStore(platform, "100");  // cannot replace a folder: quietly nothing
  EXPECT_TRUE(std::filesystem::is_directory(StorePath()));
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_)) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(StoreTest, ReadOnlyFileAndFolderAreRespected) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  WriteStoreBytes("42\r\n");
  chmod(StorePath().c_str(), 0444);
  EXPECT_THROW(posix::writeFileWhole(StorePath().string(), "100\r\n"), Failure);
  EXPECT_EQ(StoreBytes(), "42\r\n");
  chmod(StorePath().c_str(), 0644);
  chmod(folder_.c_str(), 0555);
  posix::writeFileWhole(StorePath().string(), "100\r\n");  // in place, where the folder refuses new files
  chmod(folder_.c_str(), 0755);
  EXPECT_EQ(StoreBytes(), "100\r\n");
}

TEST_F(StoreTest, KeepsTheModeOfTheFileItReplaces) {
  WriteStoreBytes("42\r\n");
  chmod(StorePath().c_str(), 0640);
  WriteStore(platform, "41");
  struct stat st{};
  ASSERT_EQ(stat(StorePath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace guizzolo::test
