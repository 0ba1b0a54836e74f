// Moving the pet between the always-on-top band and the ordinary one keeps
// its native window: re-creating it would flicker and disturb the focus.
#include <gtest/gtest.h>

#include <QWidget>
#include <QWindow>

#include "app/form1.h"
#include "platform/qt/qt_window.h"
#include "qt_test_support.h"

namespace guizzolo::qt::test {
namespace {

constexpr std::uint32_t kShow = win::kSwpShowWindow | win::kSwpNoActivate;

// Counts the times a window is taken off the screen.
struct HideCounter : QObject {
  int hides = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Hide) ++hides;
    return false;
  }
};

TEST(Band, TogglingKeepsTheNativeWindow) {
  RecordingEvents events;
  TickGate ticks;
  QtWindow pet(Form1Layout(), events, 15, 15, ticks);
  pet.setWindowPos(win::kHwndTopMost, 100, 120, 87, 53, kShow);
  ASSERT_TRUE(pet.widget()->isVisible());
  const WId native = pet.widget()->winId();
  QWindow* handle = pet.widget()->windowHandle();
  HideCounter counter;
  pet.widget()->installEventFilter(&counter);

  const struct {
    std::intptr_t insertAfter;
    bool onTop;
  } steps[] = {{win::kHwndNoTopMost, false}, {win::kHwndTopMost, true}, {win::kHwndTopMost, true},
               {win::kHwndNoTopMost, false}, {win::kHwndNoTopMost, false}};
  for (const auto& step : steps) {
    pet.setWindowPos(step.insertAfter, 100, 120, 87, 53, kShow);
    EXPECT_EQ(pet.widget()->winId(), native);
    EXPECT_EQ(pet.widget()->windowHandle(), handle);
    EXPECT_EQ(handle->flags().testFlag(Qt::WindowStaysOnTopHint), step.onTop);
    EXPECT_TRUE(pet.widget()->isVisible());
  }
  EXPECT_EQ(counter.hides, 0) << "the window left the screen on a band change";
  // The band change keeps the other flags.
  EXPECT_TRUE(handle->flags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(handle->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
}

TEST(Band, PlacementAppliesTheRectangle) {
  RecordingEvents events;
  TickGate ticks;
  QtWindow pet(Form1Layout(), events, 15, 15, ticks);
  pet.setWindowPos(win::kHwndTopMost, -30, 700, 87, 53, kShow);
  runEventsFor(20);
  const PixelRect r = pet.rect();
  EXPECT_EQ(r.x, -30) << "negative positions are not clamped";
  EXPECT_EQ(r.y, 700);
  EXPECT_EQ(r.width, 87);
  EXPECT_EQ(r.height, 53);
  pet.move(40, 50);
  EXPECT_EQ(pet.rect().x, 40);
  EXPECT_EQ(pet.rect().y, 50);
}

}  // namespace
}  // namespace guizzolo::qt::test
