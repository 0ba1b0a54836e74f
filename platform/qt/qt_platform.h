// The platform the program runs on under Qt: windows, timers, message
// boxes, the sound player, the clock, the locale and the files.
#pragma once

#include <memory>
#include <random>

#include "platform/platform.h"
#include "platform/qt/tick_gate.h"

namespace guizzolo::qt {

class QtMediaPlayer;

class QtPlatform final : public Platform {
 public:
  QtPlatform();  // needs a QApplication
  ~QtPlatform() override;
  QtPlatform(const QtPlatform&) = delete;
  QtPlatform& operator=(const QtPlatform&) = delete;

  std::unique_ptr<Window> createWindow(const WindowLayout& layout, WindowEvents& events) override;
  float twipsPerPixelX() override;
  float twipsPerPixelY() override;

  void randomize(float seed) override;
  float rnd() override;
  float secondsSinceMidnight() override;

  std::string shortDate() override;
  std::string longTime() override;
  std::string decimalSeparator() override;

  void msgBox(const std::string& text, int style, const std::string& title) override;
  void openUrl(const std::string& url) override;

  std::string programFolder() override;
  std::string pathSeparator() override;
  std::string readFile(const std::string& path, std::size_t maxBytes) override;
  void writeFile(const std::string& path, const std::string& bytes) override;
  std::string userFolder() override;
  void createFolders(const std::string& path) override;
  bool takesFile(const std::string& path) override;

  MediaPlayer& mediaPlayer() override;

  [[noreturn]] void end() override;

 private:
  TickGate ticks_;
  std::mt19937 random_;
  std::unique_ptr<QtMediaPlayer> player_;
};

}  // namespace guizzolo::qt
