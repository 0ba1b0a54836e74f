// The platform interface on Win32: the native Windows program.
#pragma once

#include "platform/win32/win_api.h"

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/platform.h"
#include "platform/random_draws.h"
#include "platform/win32/sound_player.h"

namespace guizzolo::win32 {

class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(HINSTANCE instance);
  ~Win32Platform() override = default;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  std::unique_ptr<Window> createWindow(const WindowLayout& layout, WindowEvents& events) override;
  float twipsPerPixelX() override { return twipsPerPixelX_; }
  float twipsPerPixelY() override { return twipsPerPixelY_; }
  void randomize(float seed) override;
  float rnd() override;
  float secondsSinceMidnight() override;
  std::string shortDate() override;
  std::string longTime() override;
  std::string decimalSeparator() override;
  void msgBox(const std::string& text, int style, const std::string& title) override;
  void openUrl(const std::string& url) override;
  std::string programFolder() override;
  std::string pathSeparator() override { return "\\"; }
  std::string readFile(const std::string& path, std::size_t maxBytes) override;
  void writeFile(const std::string& path, const std::string& bytes) override;
  std::string userFolder() override;
  void createFolders(const std::string& path) override;
  bool takesFile(const std::string& path) override;
  bool claimFile(const std::string& path) override;
  MediaPlayer& mediaPlayer() override { return player_; }
  [[noreturn]] void end() override;

  // What the windows and the message loop need.
  HINSTANCE instance() const { return instance_; }
  // True while one of the program's message boxes waits for its answer:
  // timer ticks are dropped, so no tick opens a second box.
  bool ticksHeld() const { return boxesOpen_ > 0; }
  void addFramed(HWND hwnd) { framed_.push_back(hwnd); }
  void removeFramed(HWND hwnd);
  // Tab, Shift+Tab and the arrow keys move between the panel's controls.
  bool dialogMessage(MSG& message);
  // The window being dragged by the system's move loop, nullptr when none.
  void setMoving(HWND hwnd) { moving_ = hwnd; }
  HWND moving() const { return moving_; }
  // The user's session ends (logout, shutdown): the handler runs, then the
  // program ends.
  void onSessionEnd(std::function<void()> handler) { sessionEnd_ = std::move(handler); }
  [[noreturn]] void endSession();

 private:
  HINSTANCE instance_;
  float twipsPerPixelX_ = 15, twipsPerPixelY_ = 15;
  RandomDraws random_;
  int boxesOpen_ = 0;
  std::vector<HWND> framed_;
  HWND moving_ = nullptr;
  std::function<void()> sessionEnd_;
  Win32MediaPlayer player_;
};

}  // namespace guizzolo::win32
