// A scripted desktop for the unit tests: the test chooses every random draw,
// fires timers by hand, answers message boxes, makes any call fail, and reads
// back a log of the calls in the order they were made.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace guizzolo::fake {

// Thrown by end(): unwinds the handler the way ending the program cuts it short.
struct ProgramEnded {};

class FakePlatform;

class FakeWindow : public Window {
 public:
  FakeWindow(FakePlatform& platform, const WindowLayout& layout, WindowEvents& events);
  ~FakeWindow() override;

  PixelRect rect() const override;
  void move(int x, int y) override;
  void resize(int width, int height) override;
  void show() override;
  void setBackColour(Colour colour) override;
  std::int32_t getWindowLong(int index) override;
  void setWindowLong(int index, std::int32_t value) override;
  void setLayeredWindowAttributes(Colour key, std::uint8_t alpha, std::uint32_t flags) override;
  void setWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy,
                    std::uint32_t flags) override;
  void giveFocus() override;
  void releaseCapture() override;
  void dragMove() override;
  void setControlVisible(int controlId, bool visible) override;
  bool controlVisible(int controlId) const override;
  std::string text(int controlId) const override;
  void setText(int controlId, const std::string& text) override;
  void setTimerEnabled(int timerId, bool enabled) override;
  bool timerEnabled(int timerId) const override;

  const WindowLayout& layout;
  WindowEvents& events;
  PixelRect geometry;
  bool visible = false;
  bool topMost = false;
  Colour backColour;
  std::int32_t exStyle = 0;
  Colour colourKey = 0;
  std::uint32_t layeredFlags = 0;
  std::vector<bool> controlShown;
  std::vector<std::string> texts;
  std::vector<bool> timers;  // index = timer id - 1

 private:
  void call(const std::string& what) const;
  FakePlatform& platform_;
};

class FakePlatform : public Platform, public MediaPlayer {
 public:
  explicit FakePlatform(std::string programFolder);
  ~FakePlatform() override;  // lets go of the claim, as the end of a process does

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
  void open(const std::string& path) override;
  void setAutoStart(std::int32_t value) override;

  // Queues the two draws of one tick: step s (1..200), event number e (1..1000).
  void draw(int s, int e);
  // The window with this caption, or nullptr when it is not there.
  FakeWindow* window(const std::string& caption) const;
  // Fires the timer if it is enabled, as the window system would.
  void tick(const std::string& caption, int timerId);
  // Log lines that start with the prefix, in order.
  std::vector<std::string> calls(const std::string& prefix) const;

  // Records a call and throws Failure when the test made that call fail.
  void call(const std::string& what);

  std::vector<std::string> log;
  std::set<std::string> failing;  // call names (the log line up to '(' or ' ')
  // Folders that take no file, as a read-only folder for a user who is not
  // root: writeFile and createFolders there are refused.
  std::set<std::string> refusing;
  std::string userFolderPath;  // empty: the platform has no user folder
  struct Box {
    std::string text;
    int style;
    std::string title;
  };
  std::vector<Box> boxes;
  std::function<void()> duringBox;   // runs while a message box is open
  std::function<void()> duringDrag;  // runs while the drag holds the button
  int dragDx = 0, dragDy = 0;
  float tpp = 15;
  std::string separator = ".";
  std::string date = "07/12/2026", time = "04:25:48";
  float seconds = 12345.5f;
  std::deque<float> draws;
  std::vector<FakeWindow*> windows;

 private:
  std::string folder_;
  int claim_ = -1;
};

}  // namespace guizzolo::fake
