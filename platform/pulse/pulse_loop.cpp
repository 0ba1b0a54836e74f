#include "platform/pulse/pulse_loop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>

#include "platform/platform.h"

namespace guizzolo::pulse {

// The library marks times on the monotonic clock with this bit in tv_usec.
constexpr long kMonotonicFlag = 1L << 30;

struct PulseLoop::Event {
  enum class Kind { Io, Time, Defer } kind;
  PulseLoop* loop = nullptr;
  bool dead = false;
  void* userdata = nullptr;
  // Io
  int fd = -1;
  std::uint32_t watched = 0;  // epoll events; 0: not registered
  pa_io_event_cb_t ioCallback = nullptr;
  pa_io_event_destroy_cb_t ioDestroy = nullptr;
  // Time: fd is a timerfd
  timeval when{};
  bool armed = false;
  pa_time_event_cb_t timeCallback = nullptr;
  pa_time_event_destroy_cb_t timeDestroy = nullptr;
  // Defer
  bool enabled = false;
  pa_defer_event_cb_t deferCallback = nullptr;
  pa_defer_event_destroy_cb_t deferDestroy = nullptr;
};

namespace {

using Event = PulseLoop::Event;

PulseLoop& LoopOf(pa_mainloop_api* api) { return *static_cast<PulseLoop*>(api->userdata); }
template <typename T>
Event* Ev(T* e) { return reinterpret_cast<Event*>(e); }

std::uint32_t EpollEvents(pa_io_event_flags_t flags) {
  std::uint32_t events = 0;
  if (flags & PA_IO_EVENT_INPUT) events |= EPOLLIN;
  if (flags & PA_IO_EVENT_OUTPUT) events |= EPOLLOUT;
  return events;
}

pa_io_event_flags_t IoFlags(std::uint32_t events) {
  int flags = PA_IO_EVENT_NULL;
  if (events & EPOLLIN) flags |= PA_IO_EVENT_INPUT;
  if (events & EPOLLOUT) flags |= PA_IO_EVENT_OUTPUT;
  if (events & EPOLLHUP) flags |= PA_IO_EVENT_HANGUP;
  if (events & EPOLLERR) flags |= PA_IO_EVENT_ERROR;
  return static_cast<pa_io_event_flags_t>(flags);
}

void Watch(int epoll, Event* e, std::uint32_t events) {
  // A descriptor watched for nothing leaves the set: epoll would still
  // report its hang-up over and over.
  if (events == e->watched) return;
  epoll_event ev{};
  ev.events = events;
  ev.data.ptr = e;
  const int op = e->watched == 0 ? EPOLL_CTL_ADD : events == 0 ? EPOLL_CTL_DEL : EPOLL_CTL_MOD;
  if (::epoll_ctl(epoll, op, e->fd, &ev) == 0 || op == EPOLL_CTL_DEL) e->watched = events;
}

void Arm(Event* e, const timeval* tv) {
  itimerspec due{};
  e->armed = tv != nullptr;
  if (tv != nullptr) {
    e->when = *tv;
    const bool monotonic = (tv->tv_usec & kMonotonicFlag) != 0;
    const long long usec = tv->tv_usec & ~kMonotonicFlag;
    long long target = static_cast<long long>(tv->tv_sec) * 1000000000LL + usec * 1000LL;
    timespec now{};
    if (!monotonic) {
      // A wall-clock time becomes a delay on the monotonic clock.
      ::clock_gettime(CLOCK_REALTIME, &now);
      const long long delay = target - (now.tv_sec * 1000000000LL + now.tv_nsec);
      ::clock_gettime(CLOCK_MONOTONIC, &now);
      target = now.tv_sec * 1000000000LL + now.tv_nsec + delay;
    }
    target = std::max(target, 1LL);  // a zero time would disarm
    due.it_value.tv_sec = static_cast<time_t>(target / 1000000000LL);
    due.it_value.tv_nsec = static_cast<long>(target % 1000000000LL);
  }
  ::timerfd_settime(e->fd, TFD_TIMER_ABSTIME, &due, nullptr);
}

}  // namespace

PulseLoop::PulseLoop() {
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.ptr = nullptr;
  if (epoll_ < 0 || wake_ < 0 || ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &ev) != 0) {
    if (epoll_ >= 0) ::close(epoll_);
    if (wake_ >= 0) ::close(wake_);
    throw Failure("no descriptors for the audio connection");
  }

  api_.userdata = this;
  api_.io_new = [](pa_mainloop_api* a, int fd, pa_io_event_flags_t flags, pa_io_event_cb_t cb,
                   void* userdata) {
    PulseLoop& loop = LoopOf(a);
    auto e = std::make_unique<Event>(Event{Event::Kind::Io});
    e->loop = &loop;
    e->fd = fd;
    e->ioCallback = cb;
    e->userdata = userdata;
    Watch(loop.epoll_, e.get(), EpollEvents(flags));
    loop.events_.push_back(std::move(e));
    return reinterpret_cast<pa_io_event*>(loop.events_.back().get());
  };
  api_.io_enable = [](pa_io_event* pe, pa_io_event_flags_t flags) {
    Event* e = Ev(pe);
    Watch(e->loop->epoll_, e, EpollEvents(flags));
  };
  api_.io_free = [](pa_io_event* pe) {
    Event* e = Ev(pe);
    Watch(e->loop->epoll_, e, 0);
    e->dead = true;
    e->loop->collect();
  };
  api_.io_set_destroy = [](pa_io_event* pe, pa_io_event_destroy_cb_t cb) { Ev(pe)->ioDestroy = cb; };

  api_.time_new = [](pa_mainloop_api* a, const timeval* tv, pa_time_event_cb_t cb, void* userdata) {
    PulseLoop& loop = LoopOf(a);
    auto e = std::make_unique<Event>(Event{Event::Kind::Time});
    e->loop = &loop;
    e->fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (e->fd < 0) return static_cast<pa_time_event*>(nullptr);
    e->timeCallback = cb;
    e->userdata = userdata;
    Watch(loop.epoll_, e.get(), EPOLLIN);
    Arm(e.get(), tv);
    loop.events_.push_back(std::move(e));
    return reinterpret_cast<pa_time_event*>(loop.events_.back().get());
  };
  api_.time_restart = [](pa_time_event* pe, const timeval* tv) { Arm(Ev(pe), tv); };
  api_.time_free = [](pa_time_event* pe) {
    Event* e = Ev(pe);
    e->dead = true;
    e->loop->collect();
  };
  api_.time_set_destroy = [](pa_time_event* pe, pa_time_event_destroy_cb_t cb) { Ev(pe)->timeDestroy = cb; };

  api_.defer_new = [](pa_mainloop_api* a, pa_defer_event_cb_t cb, void* userdata) {
    PulseLoop& loop = LoopOf(a);
    auto e = std::make_unique<Event>(Event{Event::Kind::Defer});
    e->loop = &loop;
    e->enabled = true;
    e->deferCallback = cb;
    e->userdata = userdata;
    loop.events_.push_back(std::move(e));
    loop.wake();
    return reinterpret_cast<pa_defer_event*>(loop.events_.back().get());
  };
  api_.defer_enable = [](pa_defer_event* pe, int enable) {
    Event* e = Ev(pe);
    e->enabled = enable != 0;
    if (e->enabled) e->loop->wake();
  };
  api_.defer_free = [](pa_defer_event* pe) {
    Event* e = Ev(pe);
    e->enabled = false;
    e->dead = true;
    e->loop->collect();
  };
  api_.defer_set_destroy = [](pa_defer_event* pe, pa_defer_event_destroy_cb_t cb) {
    Ev(pe)->deferDestroy = cb;
  };
  api_.quit = [](pa_mainloop_api*, int) {};
}

PulseLoop::~PulseLoop() {
  for (auto& e : events_) e->dead = true;
  dispatching_ = false;
  collect();
  ::close(wake_);
  ::close(epoll_);
}

void PulseLoop::wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(wake_, &one, sizeof one);
}

void PulseLoop::collect() {
  // While dispatching, the events of the current batch may still point at
  // an event that a callback freed: it goes only after the batch.
  if (dispatching_) return;
  // Destroy callbacks may free further events: take the dead ones out first.
  std::vector<std::unique_ptr<Event>> dead;
  auto live = std::stable_partition(events_.begin(), events_.end(), [](const auto& e) { return !e->dead; });
  std::move(live, events_.end(), std::back_inserter(dead));
  events_.erase(live, events_.end());
  for (auto& e : dead) {
    pa_mainloop_api* api = &e->loop->api_;
    switch (e->kind) {
      case Event::Kind::Io:
        if (e->ioDestroy) e->ioDestroy(api, reinterpret_cast<pa_io_event*>(e.get()), e->userdata);
        break;
      case Event::Kind::Time:
        ::close(e->fd);
        if (e->timeDestroy) e->timeDestroy(api, reinterpret_cast<pa_time_event*>(e.get()), e->userdata);
        break;
      case Event::Kind::Defer:
        if (e->deferDestroy) e->deferDestroy(api, reinterpret_cast<pa_defer_event*>(e.get()), e->userdata);
        break;
    }
  }
}

void PulseLoop::dispatch() {
  std::uint64_t count = 0;
  [[maybe_unused]] const auto got = ::read(wake_, &count, sizeof count);
  dispatching_ = true;
  epoll_event ready[16];
  const int n = ::epoll_wait(epoll_, ready, 16, 0);
  for (int i = 0; i < n; ++i) {
    auto* e = static_cast<Event*>(ready[i].data.ptr);
    if (e == nullptr || e->dead) continue;
    if (e->kind == Event::Kind::Io) {
      e->ioCallback(&api_, reinterpret_cast<pa_io_event*>(e), e->fd, IoFlags(ready[i].events), e->userdata);
    } else if (e->kind == Event::Kind::Time) {
      std::uint64_t expirations = 0;
      [[maybe_unused]] const auto r = ::read(e->fd, &expirations, sizeof expirations);
      if (expirations > 0 && e->armed) {
        e->armed = false;
        const timeval when = e->when;
        e->timeCallback(&api_, reinterpret_cast<pa_time_event*>(e), &when, e->userdata);
      }
    }
  }
  // Callbacks may add events: walk by index, and only those there now.
  const std::size_t count_now = events_.size();
  for (std::size_t i = 0; i < count_now; ++i) {
    Event* e = events_[i].get();
    if (e->kind == Event::Kind::Defer && e->enabled && !e->dead)
      e->deferCallback(&api_, reinterpret_cast<pa_defer_event*>(e), e->userdata);
  }
  dispatching_ = false;
  collect();
  if (std::any_of(events_.begin(), events_.end(),
                  [](const auto& e) { return e->kind == Event::Kind::Defer && e->enabled; }))
    wake();
}

}  // namespace guizzolo::pulse
