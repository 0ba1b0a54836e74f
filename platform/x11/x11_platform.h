// The platform the program runs on under X11, without a toolkit: the pet
// window on xcb, the event loop, the clock, the locale, the files and the
// sound; the Qt module only for the panel and the message boxes.
#pragma once

#include <memory>
#include <set>

#include "platform/platform.h"
#include "platform/random_draws.h"
#include "platform/x11/tick_gate.h"
#include "platform/x11/commits.h"
#include "platform/x11/event_loop.h"
#include "platform/x11/pet_window.h"
#include "platform/x11/x_display.h"

namespace guizzolo::x11 {

class X11Platform final : public Platform {
 public:
  // scaleFactor: QT_SCALE_FACTOR as kept after the sanity check.
  X11Platform(XDisplay& display, std::optional<double> scaleFactor);
  ~X11Platform() override;
  X11Platform(const X11Platform&) = delete;
  X11Platform& operator=(const X11Platform&) = delete;

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
  bool claimFile(const std::string& path) override;

  MediaPlayer& mediaPlayer() override;

  [[noreturn]] void end() override;

  // What a session end does (the program's): also run at a close request on
  // the pet window, and when the X server is gone (then the program ends
  // with status 1). It must end the program.
  void onSessionEnd(std::function<void()> end);

  // Runs the program's events until it ends.
  [[noreturn]] void run();
  EventLoop& loop() { return loop_; }
  Commits& commits() { return commits_; }
  double scale() const { return env_.scale; }
  // The Qt module, opened on first use; Failure when it cannot be.
  qtmodule::Module& qt();
  bool qtLoaded() const { return qt_ != nullptr; }

 private:
  xcb_cursor_t pointer(Pointer pointer);
  xcb_cursor_t grabHand_ = XCB_NONE;
  bool grabHandMade_ = false;
  XDisplay& display_;
  EventLoop loop_;
  Commits commits_;
  TickGate ticks_;
  PetEnv env_;
  RandomDraws random_;
  qtmodule::Module* qt_ = nullptr;
  std::unique_ptr<MediaPlayer> player_;
  std::function<void()> sessionEnd_;
  int endStatus_ = 0;
};

}  // namespace guizzolo::x11
