// A started program on the fake desktop, in a fresh program folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/program.h"
#include "platform/fake/fake_platform.h"

namespace guizzolo::test {

inline std::filesystem::path MakeTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "guizzolo-XXXXXX").string();
  return mkdtemp(pattern.data());
}

// A file's bytes, "(none)" when there is no such file.
inline std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "(none)";
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

// Writes the bytes as the file's whole content, making its folders first.
inline void PutFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

class PetTest : public ::testing::Test {
 protected:
  PetTest() : folder_(MakeTempFolder()), platform(folder_.string()), program(platform) {}
  ~PetTest() override { std::filesystem::remove_all(folder_); }

  void Start() { program.Start(); }

  // Runs one tick of the timer with the chosen draws, if the timer is enabled.
  void Tick(int timerId, int s = 100, int e = 500) {
    platform.draw(s, e);
    platform.tick("Form1", timerId);
    platform.draws.clear();
  }

  fake::FakeWindow& Pet() { return *platform.window("Form1"); }
  fake::FakeWindow* Panel() { return platform.window("NuvoNuvo di Tarvisco"); }
  std::string HungerField() { return Panel()->texts.at(Form2::Text1); }

  std::vector<int> EnabledTimers() {
    std::vector<int> on;
    for (int id = 1; id <= 4; ++id)
      if (Pet().timerEnabled(id)) on.push_back(id);
    return on;
  }

  std::filesystem::path StorePath() const { return folder_ / "Ph.ini"; }
  void WriteStoreBytes(const std::string& bytes) const {
    std::ofstream(StorePath(), std::ios::binary) << bytes;
  }
  std::string StoreBytes() const {
    std::ifstream in(StorePath(), std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }

  std::filesystem::path folder_;
  fake::FakePlatform platform;
  Program program;
};

}  // namespace guizzolo::test
