// The program's one event loop: file descriptors (the X connection, and any
// other the platform registers) and the windows' timers, in one thread with
// one wait per tick when idle. Once the Qt module is open, Qt does the
// waiting (see platform/qt/module_api.h) and calls back here, so presses,
// ticks and drags keep their order before and after.
#pragma once

#include <chrono>
#include <functional>
#include <map>

#include "platform/qt/module_api.h"

namespace guizzolo::x11 {

class EventLoop final : public qtmodule::Host {
 public:
  using Clock = std::chrono::steady_clock;

  void watch(int fd, std::function<void()> ready);
  void unwatch(int fd);

  // A repeating timer, created stopped. Enabling restarts its interval. A
  // timer never fires again while its own handler runs (a nested loop in it).
  int addTimer(int intervalMs, std::function<void()> fire);
  void removeTimer(int id);
  void setTimerEnabled(int id, bool enabled);
  bool timerEnabled(int id) const;

  // Runs after everything handled in one iteration (and after each callback
  // from Qt): the X connection's queue is read there.
  void setAfterDispatch(std::function<void()> after) { after_ = std::move(after); }

  // Waits for at least one thing to happen and handles what is ready.
  void iterate();

  // From now on Qt waits; our descriptors are handed to it.
  void handOver(qtmodule::Module* waiter);
  bool handedOver() const { return waiter_ != nullptr; }

  // Milliseconds until the next enabled timer is due (0 if overdue), -1 if none.
  int msUntilNextTimer(Clock::time_point now) const;

  // Called when the Qt module finds the X server gone.
  void setDisplayLost(std::function<void()> lost) { displayLost_ = std::move(lost); }

  // qtmodule::Host
  void fdReady(int fd) override;
  void wakeUp() override;
  void displayLost() override;

 private:
  struct Timer {
    std::chrono::milliseconds interval;
    bool enabled = false;
    bool running = false;
    Clock::time_point due;
    std::function<void()> fire;
  };
  void fireDueTimers();
  void rearm();

  std::map<int, std::function<void()>> fds_;
  std::map<int, Timer> timers_;
  int nextTimerId_ = 1;
  std::function<void()> after_;
  std::function<void()> displayLost_;
  qtmodule::Module* waiter_ = nullptr;
};

}  // namespace guizzolo::x11
