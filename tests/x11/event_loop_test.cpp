// The program's own loop: timers at their interval, descriptors when they
// are readable, one wait per tick, and no timer re-entered from a nested
// loop in its own handler (the drag, a message box).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "platform/x11/commits.h"
#include "platform/x11/event_loop.h"
#include "platform/x11/panel_proxy.h"

namespace guizzolo::x11::test {
namespace {

using Clock = std::chrono::steady_clock;

void runFor(EventLoop& loop, int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) loop.iterate();
}

TEST(Loop, TimersTickAtTheirIntervalOnlyWhileEnabled) {
  EventLoop loop;
  int a = 0, b = 0;
  const int ta = loop.addTimer(20, [&] { ++a; });
  const int tb = loop.addTimer(20, [&] { ++b; });
  loop.setTimerEnabled(ta, true);
  EXPECT_TRUE(loop.timerEnabled(ta));
  EXPECT_FALSE(loop.timerEnabled(tb));
  runFor(loop, 210);
  EXPECT_GE(a, 8);
  EXPECT_LE(a, 11);
  EXPECT_EQ(b, 0);
  loop.setTimerEnabled(ta, false);
  const int before = a;
  // Something else keeps the loop waking; with nothing at all it would wait for ever.
  loop.setTimerEnabled(tb, true);
  runFor(loop, 60);
  EXPECT_EQ(a, before);
  EXPECT_GE(b, 2);
}

TEST(Loop, IdleLoopWaitsOncePerTick) {
  EventLoop loop;
  int ticks = 0;
  loop.setTimerEnabled(loop.addTimer(25, [&] { ++ticks; }), true);
  int iterations = 0;
  const auto end = Clock::now() + std::chrono::milliseconds(260);
  while (Clock::now() < end) {
    loop.iterate();
    ++iterations;
  }
  EXPECT_GE(ticks, 9);
  // Woken a little early now and then at most: never a busy loop.
  EXPECT_LE(iterations, ticks + 3);
}

TEST(Loop, ATimerIsNotReenteredFromANestedLoopInItsHandler) {
  EventLoop loop;
  int outer = 0, inside = 0, depth = 0, deepest = 0;
  // Until a condition, with a deadline that only a failure reaches: on a
  // busy machine no tick count fits a fixed time.
  const auto runUntil = [&](const auto& done) {
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (!done() && Clock::now() < end) loop.iterate();
  };
  const int t = loop.addTimer(10, [&] {
    ++outer;
    ++depth;
    deepest = std::max(deepest, depth);
    if (outer == 1) runUntil([&] { return inside >= 3; });  // as a drag does, until the release
    --depth;
  });
  loop.setTimerEnabled(t, true);
  loop.setTimerEnabled(loop.addTimer(10, [&] { inside += depth; }), true);
  runUntil([&] { return outer >= 2; });
  EXPECT_EQ(deepest, 1);
  EXPECT_GE(inside, 3) << "other timers keep ticking inside the nested loop";
  EXPECT_GE(outer, 2) << "the timer ticks again after its handler";
}

TEST(Loop, AHandlerMayRemoveItsOwnTimer) {
  EventLoop loop;
  int fired = 0;
  int id = 0;
  id = loop.addTimer(5, [&] {
    ++fired;
    loop.removeTimer(id);
  });
  loop.setTimerEnabled(id, true);
  int clock = 0;
  const int keepAwake = loop.addTimer(5, [&] { ++clock; });
  loop.setTimerEnabled(keepAwake, true);
  runFor(loop, 40);
  loop.removeTimer(keepAwake);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(loop.msUntilNextTimer(Clock::now()), -1);
}

TEST(Loop, ReadableDescriptorsAreHandled) {
  EventLoop loop;
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  int seen = 0;
  loop.watch(fds[0], [&] {
    char c;
    if (::read(fds[0], &c, 1) == 1) ++seen;
  });
  loop.setTimerEnabled(loop.addTimer(10, [&] { EXPECT_EQ(::write(fds[1], "x", 1), 1); }), true);
  runFor(loop, 55);
  EXPECT_GE(seen, 3);
  loop.unwatch(fds[0]);
  ::close(fds[0]);
  ::close(fds[1]);
}

struct CountingCommitter : Commits::Committer {
  int commits = 0;
  void commit() override { ++commits; }
};

TEST(Commits, OneCommitPerEventAndBeforeEachNestedLoop) {
  Commits commits;
  CountingCommitter c;
  commits.add(&c);
  {
    Commits::Batch tick(commits);
    EXPECT_TRUE(commits.deferred());
    {
      Commits::Batch inner(commits);
    }
    EXPECT_EQ(c.commits, 0) << "a handler's changes wait for its end";
    {
      Commits::Nested drag(commits);
      EXPECT_EQ(c.commits, 1) << "what came before a nested loop goes out first";
      EXPECT_FALSE(commits.deferred()) << "inside the nested loop changes go at once";
      {
        Commits::Batch tickInDrag(commits);
      }
      EXPECT_EQ(c.commits, 2);
    }
    EXPECT_TRUE(commits.deferred());
  }
  EXPECT_EQ(c.commits, 3);
  commits.remove(&c);
}

struct NullWindow : Window {
  PixelRect rect() const override { return {}; }
  void move(int, int) override {}
  void resize(int, int) override {}
  void show() override { ++shows; }
  void setBackColour(Colour) override {}
  std::int32_t getWindowLong(int) override { return 0; }
  void setWindowLong(int, std::int32_t) override {}
  void setLayeredWindowAttributes(Colour, std::uint8_t, std::uint32_t) override {}
  void setWindowPos(std::intptr_t, int, int, int, int, std::uint32_t) override {}
  void giveFocus() override {}
  void releaseCapture() override {}
  void dragMove() override {}
  void setControlVisible(int, bool) override {}
  bool controlVisible(int) const override { return true; }
  std::string text(int) const override { return "real"; }
  void setText(int, const std::string&) override {}
  void setTimerEnabled(int, bool) override {}
  bool timerEnabled(int) const override { return false; }
  int shows = 0;
};

WindowLayout panelLayout() {
  WindowLayout l;
  l.style = WindowStyle::FixedToolWindow;
  l.clientWidth = 4890;
  l.clientHeight = 1395;
  ControlLayout field;
  field.kind = ControlKind::TextField;
  field.caption = "Text1";
  ControlLayout line;
  line.kind = ControlKind::Line;
  ControlLayout label;
  label.kind = ControlKind::Label;
  label.visible = false;
  l.controls = {field, line, label};
  return l;
}

TEST(PanelProxy, HoldsTheProgramsStateUntilShownThenHandsItOver) {
  int made = 0;
  WindowLayout given;
  NullWindow* real = nullptr;
  PanelProxy panel(panelLayout(), 15, 15, PixelRect{0, 0, 1280, 800}, [&](const WindowLayout& l) {
    ++made;
    given = l;
    auto w = std::make_unique<NullWindow>();
    real = w.get();
    return w;
  });
  EXPECT_EQ(panel.rect().width, 326);
  EXPECT_EQ(panel.rect().x, (1280 - 326) / 2);
  panel.setText(0, "57,5");
  EXPECT_EQ(panel.text(0), "57,5");
  EXPECT_THROW(panel.setText(1, "x"), Failure);
  EXPECT_THROW(panel.text(7), Failure);
  panel.setControlVisible(2, true);
  EXPECT_TRUE(panel.controlVisible(2));
  panel.setWindowPos(0, 10, 20, 0, 0, 0x0001 /* no size */);
  EXPECT_EQ(panel.rect().x, 10);
  EXPECT_EQ(made, 0) << "no Qt window while hidden";

  panel.show();
  ASSERT_EQ(made, 1);
  EXPECT_EQ(given.controls[0].caption, "57,5");
  EXPECT_TRUE(given.controls[2].visible);
  EXPECT_EQ(real->shows, 1);
  EXPECT_EQ(panel.text(0), "real") << "from now on the real window answers";
  panel.show();
  EXPECT_EQ(made, 1);
}

}  // namespace
}  // namespace guizzolo::x11::test
