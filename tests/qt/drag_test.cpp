// The pointer-driven move of the pet: it follows the pointer and returns at
// the release, ticks or no ticks, and never waits for a button that is up.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include "app/form1.h"
#include "platform/qt/qt_window.h"
#include "qt_test_support.h"

namespace guizzolo::qt::test {
namespace {

TEST(Drag, ReturnsAtOnceWhenTheButtonIsUp) {
  RecordingEvents events;
  TickGate ticks;
  QtWindow pet(Form1Layout(), events, 15, 15, ticks);
  pet.setWindowPos(win::kHwndTopMost, 200, 200, 87, 53, win::kSwpShowWindow | win::kSwpNoActivate);
  QElapsedTimer clock;
  clock.start();
  pet.dragMove();
  EXPECT_LT(clock.elapsed(), 100);
  EXPECT_EQ(pet.rect().x, 200);
}

TEST(Drag, FollowsThePointerUntilReleaseWhileTicksMoveTheWindow) {
  RecordingEvents events;
  TickGate ticks;
  QtWindow pet(Form1Layout(), events, 15, 15, ticks);
  pet.setWindowPos(win::kHwndTopMost, 200, 200, 87, 53, win::kSwpShowWindow | win::kSwpNoActivate);
  pet.setControlVisible(Form1::Image2, true);
  QWidget* fish = pet.controlWidget(Form1::Image2);
  // A tick that moves the window, as a swim step does during the drag.
  events.onTick = [&](int) { pet.move(pet.rect().x + 57, pet.rect().y + 57); };
  bool returned = false;
  QPoint lastTarget;
  events.onPress = [&](int, int button) {
    ASSERT_EQ(button, 1);
    QTimer::singleShot(30, [&] { QTest::mouseMove(fish, QPoint(40, 30)); });
    // The last move and the release come together, so no tick falls between.
    QTimer::singleShot(250, [&] {
      lastTarget = fish->mapToGlobal(QPoint(70, 45));
      QTest::mouseMove(fish, QPoint(70, 45));
      QTest::mouseRelease(fish, Qt::LeftButton, {}, QPoint(70, 45));
    });
    // Safety net: a hanging drag fails the test instead of blocking it.
    QTimer::singleShot(3000, [&] { if (!returned) QTest::mouseRelease(fish, Qt::LeftButton); });
    pet.setTimerEnabled(1, true);
    pet.dragMove();
    returned = true;
    pet.setTimerEnabled(1, false);
  };
  QTest::mousePress(fish, Qt::LeftButton, {}, QPoint(20, 15));
  ASSERT_TRUE(returned);
  EXPECT_EQ(events.presses.size(), 1u);
  EXPECT_FALSE(events.ticks.empty()) << "ticks keep running during the drag";
  // The pressed point of the fish ends under the pointer.
  EXPECT_EQ(QPoint(pet.rect().x, pet.rect().y), lastTarget - QPoint(20, 15));
}

}  // namespace
}  // namespace guizzolo::qt::test
