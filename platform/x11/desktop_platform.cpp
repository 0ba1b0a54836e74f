#include "platform/x11/desktop_platform.h"

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "platform/posix/files.h"
#include "platform/posix/locale_formats.h"
#include "platform/posix/program_folder.h"
#include "platform/posix/user_folder.h"
#include "platform/pulse/pulse_player.h"
#include "platform/x11/panel_proxy.h"
#include "platform/x11/qt_loader.h"

namespace guizzolo::x11 {
namespace {

// Events of the panel, which Qt delivers: the pet's changes they cause go out
// together when the handler is over, as after a tick.
class BatchedEvents final : public WindowEvents {
 public:
  BatchedEvents(WindowEvents& to, Commits& commits) : to_(to), commits_(commits) {}
  void timer(int id) override {
    Commits::Batch b(commits_);
    to_.timer(id);
  }
  void mouseDown(int id, int button) override {
    Commits::Batch b(commits_);
    to_.mouseDown(id, button);
  }
  void click(int id) override {
    Commits::Batch b(commits_);
    to_.click(id);
  }
  void closeRequested() override {
    Commits::Batch b(commits_);
    to_.closeRequested();
  }

 private:
  WindowEvents& to_;
  Commits& commits_;
};

}  // namespace

std::unique_ptr<Window> DesktopPlatform::createPanel(const WindowLayout& layout, WindowEvents& events,
                                                     PixelRect screen) {
  auto batched = std::make_shared<BatchedEvents>(events, commits_);
  const float tx = twipsPerPixelX(), ty = twipsPerPixelY();
  return std::make_unique<PanelProxy>(layout, tx, ty, screen,
                                      [this, batched, tx, ty](const WindowLayout& now) -> std::unique_ptr<Window> {
                                        return qt().createWindow(now, *batched, tx, ty);
                                      });
}

// The program's pixels are those of the panel's Qt: 96 per inch, the screen
// scale applied below them.
float DesktopPlatform::twipsPerPixelX() { return 15.0f; }
float DesktopPlatform::twipsPerPixelY() { return 15.0f; }

void DesktopPlatform::randomize(float seed) { random_.seed(seed); }

float DesktopPlatform::rnd() { return random_.next(); }

float DesktopPlatform::secondsSinceMidnight() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
  return static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) +
         static_cast<float>(ms) / 1000.0f;
}

std::string DesktopPlatform::shortDate() { return posix::shortDate(); }
std::string DesktopPlatform::longTime() { return posix::longTime(); }
std::string DesktopPlatform::decimalSeparator() { return posix::decimalSeparator(); }

qtmodule::Module& DesktopPlatform::qt() {
  if (qt_ == nullptr) {
    qt_ = openQtModule(programFolder(), loop_);
    loop_.handOver(qt_);
  }
  return *qt_;
}

void DesktopPlatform::msgBox(const std::string& text, int style, const std::string& title) {
  qtmodule::Module& module = qt();
  TickGate::Hold hold(ticks_);
  Commits::Nested nested(commits_);
  suspendDrags();
  module.msgBox(text, style, title);
  resumeDrags();
}

void DesktopPlatform::openUrl(const std::string& url) { qt().openUrl(url); }

std::string DesktopPlatform::programFolder() { return posix::programFolder(); }

std::string DesktopPlatform::pathSeparator() { return "/"; }

std::string DesktopPlatform::readFile(const std::string& path, std::size_t maxBytes) {
  return posix::readFilePrefix(path, maxBytes);
}

void DesktopPlatform::writeFile(const std::string& path, const std::string& bytes) {
  posix::writeFileWhole(path, bytes);
}

std::string DesktopPlatform::userFolder() { return posix::userStateFolder(); }

void DesktopPlatform::createFolders(const std::string& path) { posix::createPrivateFolders(path); }

bool DesktopPlatform::takesFile(const std::string& path) { return posix::takesFile(path); }

MediaPlayer& DesktopPlatform::mediaPlayer() {
  if (!player_) {
    // The audio server's sample cache, driven from the one loop: no thread,
    // and nothing wakes the program while no sound plays.
    auto player = std::make_unique<pulse::PulsePlayer>();
    pulse::PulsePlayer* p = player.get();
    loop_.watch(p->fd(), [p] { p->dispatch(); });
    player_ = std::move(player);
  }
  return *player_;
}

bool DesktopPlatform::claimFile(const std::string& path) {
  // The descriptor stays open, and the lock held, until the process ends.
  return posix::claimFolderOf(path) != posix::kClaimedElsewhere;
}

void DesktopPlatform::end() {
  // At once: no window is closed, no handler runs, nothing is saved.
  std::_Exit(endStatus_);
}

void DesktopPlatform::run() {
  for (;;) loop_.iterate();
}

}  // namespace guizzolo::x11
