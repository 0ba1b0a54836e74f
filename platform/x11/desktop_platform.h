// What the Linux program does the same whatever carries its pet window (X11,
// or a Wayland compositor's layer shell): the one event loop, the clock, the
// locale, the files, the sound, and the Qt module for the panel and the
// message boxes. The window system's part is the subclass's.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "platform/random_draws.h"
#include "platform/x11/commits.h"
#include "platform/x11/event_loop.h"
#include "platform/x11/tick_gate.h"

namespace guizzolo::x11 {

class DesktopPlatform : public Platform {
 public:
  DesktopPlatform() = default;
  DesktopPlatform(const DesktopPlatform&) = delete;
  DesktopPlatform& operator=(const DesktopPlatform&) = delete;

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
  bool claimFile(const std::string& path) override;

  MediaPlayer& mediaPlayer() override;

  [[noreturn]] void end() override;

  // The window system's connection is gone: the program ends with status 1.
  void connectionLost() { endStatus_ = 1; }
  // Runs the program's events until it ends.
  [[noreturn]] void run();
  EventLoop& loop() { return loop_; }
  Commits& commits() { return commits_; }
  // The Qt module, opened on first use; Failure when it cannot be.
  qtmodule::Module& qt();
  bool qtLoaded() const { return qt_ != nullptr; }

 protected:
  // The control panel: program state until it is first shown, then a Qt
  // window centred on `screen` (the program's pixels).
  std::unique_ptr<Window> createPanel(const WindowLayout& layout, WindowEvents& events, PixelRect screen);
  // Around a message box: a drag in progress gives the pointer way to it.
  virtual void suspendDrags() {}
  virtual void resumeDrags() {}

  EventLoop loop_;
  Commits commits_;
  TickGate ticks_;

 private:
  int endStatus_ = 0;
  RandomDraws random_;
  qtmodule::Module* qt_ = nullptr;
  std::unique_ptr<MediaPlayer> player_;
};

}  // namespace guizzolo::x11
