// The program folder is the real executable's, byte for byte: the store and
// the wave files live there, so a wrong answer loses or scatters them.
#include "platform/posix/program_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace guizzolo::posix::test {
namespace {

namespace fs = std::filesystem;

// Runs the probe by this path from this working folder; its output.
std::string Probe(const std::string& path, const std::string& workingFolder = "/") {
  std::string out;
  const std::string command = "cd '" + workingFolder + "' && '" + path + "'";
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

class ProgramFolderTest : public ::testing::Test {
 protected:
  ProgramFolderTest() {
    std::string pattern = (fs::temp_directory_path() / "guizzolo-XXXXXX").string();
    root_ = fs::canonical(::mkdtemp(pattern.data())).string();
  }
  ~ProgramFolderTest() override { fs::remove_all(root_); }
  std::string root_;
};

TEST(ProgramFolder, FolderOfTheExecutablesPath) {
  const struct {
    const char* executable;
    const char* folder;
  } table[] = {
      {"/usr/lib/guizzolo/NuvoNuvo", "/usr/lib/guizzolo"},
      {"/NuvoNuvo", "/"},
      {"/opt/a b/NuvoNuvo (deleted)", "/opt/a b"},
      {"", ""},
      {"memfd:NuvoNuvo (deleted)", ""},
  };
  for (const auto& row : table) EXPECT_EQ(folderOfExecutable(row.executable), row.folder) << row.executable;
}

TEST_F(ProgramFolderTest, TheRealExecutablesFolderWhateverTheNameOrTheLinks) {
  // Not valid UTF-8: Latin-1 "Tarvisio è" and a lone continuation byte.
  const std::string odd = root_ + "/Tarvisio \xe8\x80";
  const std::string real = odd + "/lib/guizzolo";
  fs::create_directories(real);
  fs::create_directories(odd + "/bin");
  fs::copy_file(GUIZZOLO_PROGRAM_FOLDER_PROBE, real + "/NuvoNuvo");
  fs::create_symlink("../lib/guizzolo/NuvoNuvo", odd + "/bin/guizzolo");
  fs::create_directory_symlink(real, root_ + "/linked folder");

  const struct {
    std::string started, from;
  } table[] = {
      {real + "/NuvoNuvo", "/"},
      {odd + "/bin/guizzolo", "/"},
      {"./guizzolo", odd + "/bin"},
      {"../lib/guizzolo/NuvoNuvo", odd + "/bin"},
      {root_ + "/linked folder/NuvoNuvo", "/"},
  };
  for (const auto& row : table) EXPECT_EQ(Probe(row.started, row.from), real) << row.started;
}

}  // namespace
}  // namespace guizzolo::posix::test
