#include "platform/x11/event_loop.h"

#include <poll.h>

#include <cerrno>
#include <vector>

namespace guizzolo::x11 {

void EventLoop::watch(int fd, std::function<void()> ready) {
  fds_[fd] = std::move(ready);
  if (waiter_ != nullptr) waiter_->watch(fd);
}

void EventLoop::unwatch(int fd) {
  if (fds_.erase(fd) != 0 && waiter_ != nullptr) waiter_->unwatch(fd);
}

int EventLoop::addTimer(int intervalMs, std::function<void()> fire) {
  const int id = nextTimerId_++;
  Timer t;
  t.interval = std::chrono::milliseconds(intervalMs > 0 ? intervalMs : 0);
  t.fire = std::move(fire);
  timers_.emplace(id, std::move(t));
  return id;
}

void EventLoop::removeTimer(int id) {
  timers_.erase(id);
  rearm();
}

void EventLoop::setTimerEnabled(int id, bool enabled) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  Timer& t = it->second;
  // A zero interval never fires, as a timer with no interval does not.
  const bool runs = enabled && t.interval.count() > 0;
  if (runs && !t.enabled) t.due = Clock::now() + t.interval;
  t.enabled = runs;
  rearm();
}

bool EventLoop::timerEnabled(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second.enabled;
}

int EventLoop::msUntilNextTimer(Clock::time_point now) const {
  bool any = false;
  Clock::time_point next{};
  for (const auto& [id, t] : timers_) {
    if (!t.enabled || t.running) continue;
    if (!any || t.due < next) next = t.due;
    any = true;
  }
  if (!any) return -1;
  if (next <= now) return 0;
  // Rounded up: waking a little early would cost a second wait.
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now);
  return static_cast<int>(wait.count());
}

void EventLoop::fireDueTimers() {
  const Clock::time_point now = Clock::now();
  std::vector<int> due;
  for (const auto& [id, t] : timers_)
    if (t.enabled && !t.running && t.due <= now) due.push_back(id);
  for (int id : due) {
    auto it = timers_.find(id);
    // An earlier handler may have stopped or removed it.
    if (it == timers_.end() || !it->second.enabled || it->second.running) continue;
    Timer& t = it->second;
    t.due += t.interval;
    if (t.due <= now) t.due = now + t.interval;  // missed ticks are not made up
    t.running = true;
    const std::function<void()> fire = t.fire;  // the handler may remove the timer
    fire();
    it = timers_.find(id);
    if (it != timers_.end()) it->second.running = false;
  }
}

void EventLoop::iterate() {
  if (waiter_ != nullptr) {
    rearm();
    waiter_->wait();
    return;
  }
  std::vector<pollfd> polled;
  polled.reserve(fds_.size());
  for (const auto& [fd, ready] : fds_) polled.push_back(pollfd{fd, POLLIN, 0});
  const int timeout = msUntilNextTimer(Clock::now());
  const int n = ::poll(polled.data(), polled.size(), timeout);
  if (n > 0) {
    for (const pollfd& p : polled) {
      if (p.revents == 0) continue;
      auto it = fds_.find(p.fd);
      if (it == fds_.end()) continue;
      const std::function<void()> ready = it->second;
      ready();
    }
  }
  fireDueTimers();
  if (after_) after_();
}

void EventLoop::handOver(qtmodule::Module* waiter) {
  waiter_ = waiter;
  for (const auto& [fd, ready] : fds_) waiter_->watch(fd);
  rearm();
}

void EventLoop::rearm() {
  if (waiter_ != nullptr) waiter_->wakeAfter(msUntilNextTimer(Clock::now()));
}

void EventLoop::fdReady(int fd) {
  auto it = fds_.find(fd);
  if (it != fds_.end()) {
    const std::function<void()> ready = it->second;
    ready();
  }
  fireDueTimers();
  if (after_) after_();
  rearm();
}

void EventLoop::wakeUp() {
  fireDueTimers();
  if (after_) after_();
  rearm();
}

void EventLoop::displayLost() {
  if (displayLost_) displayLost_();
}

}  // namespace guizzolo::x11
