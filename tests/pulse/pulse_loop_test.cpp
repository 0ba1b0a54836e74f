// The audio connection's loop on one descriptor: the library's io, time and
// defer events wake the descriptor exactly when they are due, and never
// otherwise.
#include "platform/pulse/pulse_loop.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <ctime>

namespace guizzolo::pulse {
namespace {

bool Readable(const PulseLoop& loop, int ms) {
  pollfd p{loop.fd(), POLLIN, 0};
  return ::poll(&p, 1, ms) > 0;
}

// A time on the monotonic clock as the library marks it.
timeval MonotonicIn(int ms) {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const long long usec = now.tv_sec * 1000000LL + now.tv_nsec / 1000 + ms * 1000LL;
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(usec / 1000000);
  tv.tv_usec = static_cast<suseconds_t>(usec % 1000000) | (1L << 30);
  return tv;
}

timeval WallClockIn(int ms) {
  timeval tv{};
  ::gettimeofday(&tv, nullptr);
  const long long usec = tv.tv_sec * 1000000LL + tv.tv_usec + ms * 1000LL;
  tv.tv_sec = static_cast<time_t>(usec / 1000000);
  tv.tv_usec = static_cast<suseconds_t>(usec % 1000000);
  return tv;
}

TEST(PulseLoop, TimersFireOnceWhenDueOnEitherClock) {
  for (const bool monotonic : {true, false}) {
    SCOPED_TRACE(monotonic ? "monotonic" : "wall clock");
    PulseLoop loop;
    pa_mainloop_api* api = loop.api();
    int fired = 0;
    const timeval when = monotonic ? MonotonicIn(80) : WallClockIn(80);
    pa_time_event* e = api->time_new(
        api, &when, [](pa_mainloop_api*, pa_time_event*, const timeval*, void* n) { ++*static_cast<int*>(n); },
        &fired);
    EXPECT_FALSE(Readable(loop, 20)) << "woke before the time";
    ASSERT_TRUE(Readable(loop, 1000)) << "never woke";
    loop.dispatch();
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(Readable(loop, 150)) << "a fired timer keeps waking";
    // Restarted, then disarmed: no wakeup.
    const timeval soon = MonotonicIn(30);
    api->time_restart(e, &soon);
    api->time_restart(e, nullptr);
    EXPECT_FALSE(Readable(loop, 100));
    api->time_free(e);
  }
}

TEST(PulseLoop, DeferredWorkWakesUntilDisabled) {
  PulseLoop loop;
  pa_mainloop_api* api = loop.api();
  int runs = 0;
  pa_defer_event* e =
      api->defer_new(api, [](pa_mainloop_api*, pa_defer_event*, void* n) { ++*static_cast<int*>(n); }, &runs);
  ASSERT_TRUE(Readable(loop, 0));
  loop.dispatch();
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(Readable(loop, 0)) << "still enabled: runs again";
  api->defer_enable(e, 0);
  loop.dispatch();
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(Readable(loop, 50));
  api->defer_enable(e, 1);
  EXPECT_TRUE(Readable(loop, 0));
  api->defer_free(e);
  loop.dispatch();
  EXPECT_EQ(runs, 1) << "a freed event ran";
  EXPECT_FALSE(Readable(loop, 50));
}

struct Pipe {
  int fds[2];
  Pipe() { EXPECT_EQ(::pipe(fds), 0); }
  ~Pipe() { ::close(fds[0]), ::close(fds[1]); }
};

TEST(PulseLoop, IoEventsSeeTheirDescriptorAndMayFreeEachOther) {
  PulseLoop loop;
  pa_mainloop_api* api = loop.api();
  Pipe a, b;
  struct State {
    pa_mainloop_api* api;
    pa_io_event* other = nullptr;
    int calls = 0;
    int destroyed = 0;
  } state{api};
  auto cb = [](pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t flags, void* s) {
    auto* st = static_cast<State*>(s);
    ++st->calls;
    EXPECT_TRUE(flags & PA_IO_EVENT_INPUT);
    char c;
    EXPECT_EQ(::read(fd, &c, 1), 1);
    // The first to run frees the other, which is ready in the same batch.
    if (st->other != nullptr) {
      st->api->io_free(st->other);
      st->other = nullptr;
    }
  };
  pa_io_event* ea = api->io_new(api, a.fds[0], PA_IO_EVENT_INPUT, cb, &state);
  pa_io_event* eb = api->io_new(api, b.fds[0], PA_IO_EVENT_INPUT, cb, &state);
  auto destroy = [](pa_mainloop_api*, pa_io_event*, void* s) { ++static_cast<State*>(s)->destroyed; };
  api->io_set_destroy(ea, destroy);
  api->io_set_destroy(eb, destroy);
  EXPECT_FALSE(Readable(loop, 20));
  ASSERT_EQ(::write(a.fds[1], "x", 1), 1);
  ASSERT_EQ(::write(b.fds[1], "x", 1), 1);
  state.other = eb;  // whichever runs first frees eb (or ea frees eb after eb ran)
  ASSERT_TRUE(Readable(loop, 100));
  loop.dispatch();
  EXPECT_GE(state.calls, 1);
  EXPECT_LE(state.calls, 2);
  EXPECT_EQ(state.destroyed, 1) << "a freed event is destroyed after the batch";
  // A descriptor watched for nothing does not wake the loop, even at hang-up.
  api->io_enable(ea, PA_IO_EVENT_NULL);
  ::close(a.fds[1]);
  a.fds[1] = ::dup(b.fds[1]);
  EXPECT_FALSE(Readable(loop, 50));
  api->io_free(ea);
  EXPECT_EQ(state.destroyed, 2);
}

}  // namespace
}  // namespace guizzolo::pulse
