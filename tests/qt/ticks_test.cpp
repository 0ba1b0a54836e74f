// While a message box waits for its answer, no tick reaches the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_window.h"
#include "qt_test_support.h"

namespace guizzolo::qt::test {
namespace {

WindowLayout twoTimers() {
  WindowLayout layout;
  layout.clientWidth = 600;
  layout.clientHeight = 600;
  layout.timers = {{10, true}, {10, true}, {10, false}};
  return layout;
}

TEST(Ticks, HeldWhileAMessageBoxIsOpenAndResumedAfterIt) {
  QtPlatform platform;
  RecordingEvents events;
  auto window = platform.createWindow(twoTimers(), events);

  std::size_t ticksBeforeBox = 0;
  std::size_t ticksAfterBox = 0;
  bool answered = false;
  events.onTick = [&](int) {
    if (events.ticks.size() != 1) return;
    ticksBeforeBox = events.ticks.size();
    // Let the box stand for a while, then answer it as a user would: Return.
    QTimer::singleShot(200, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        EXPECT_EQ(box->windowTitle(), "Guizzolo");
        EXPECT_NE(box->text().indexOf(QStringLiteral("è")), -1) << "UTF-8 text";
        QTest::keyClick(box, Qt::Key_Return);
        answered = true;
      }
    });
    platform.msgBox("Il guizzolo è affamato", win::kMbIconInformation, "Guizzolo");
    ticksAfterBox = events.ticks.size();
  };
  runEventsFor(400);
  ASSERT_TRUE(answered) << "the box did not close on Return";
  EXPECT_EQ(ticksBeforeBox, 1u);
  EXPECT_EQ(ticksAfterBox, 1u) << "a tick ran while the box was open";
  EXPECT_GT(events.ticks.size(), 3u) << "ticks did not resume after the box";
}

TEST(Ticks, EnabledFlagsFollowTheProgram) {
  QtPlatform platform;
  RecordingEvents events;
  auto window = platform.createWindow(twoTimers(), events);
  window->setTimerEnabled(1, false);
  window->setTimerEnabled(2, false);
  window->setTimerEnabled(3, true);
  runEventsFor(60);
  EXPECT_FALSE(window->timerEnabled(1));
  EXPECT_TRUE(window->timerEnabled(3));
  ASSERT_FALSE(events.ticks.empty());
  for (int id : events.ticks) EXPECT_EQ(id, 3);
  EXPECT_THROW(window->setTimerEnabled(4, true), Failure);
}

// A tick moves in x, then in y, reading its own moves back in between; the
// window system sees one move at the end of the tick.
TEST(Ticks, MovesOfOneTickReachTheWindowAsOne) {
  QtPlatform platform;
  RecordingEvents events;
  auto window = platform.createWindow(twoTimers(), events);
  window->setWindowPos(win::kHwndTopMost, 100, 100, 40, 40, win::kSwpShowWindow | win::kSwpNoActivate);
  window->setTimerEnabled(2, false);
  QWidget* widget = static_cast<QtWindow*>(window.get())->widget();
  std::vector<QPoint> seenDuringTick;
  events.onTick = [&](int) {
    if (events.ticks.size() != 1) return;
    const PixelRect start = window->rect();
    window->move(start.x + 7, start.y);
    window->move(window->rect().x, window->rect().y + 5);
    seenDuringTick.push_back(widget->pos());
    EXPECT_EQ(window->rect().x, start.x + 7);
    EXPECT_EQ(window->rect().y, start.y + 5);
  };
  runEventsFor(40);
  ASSERT_FALSE(seenDuringTick.empty());
  EXPECT_EQ(seenDuringTick.front(), QPoint(100, 100)) << "moved before the tick was over";
  EXPECT_EQ(widget->pos(), QPoint(107, 105));
  // Outside a tick a move goes at once.
  window->move(50, 60);
  EXPECT_EQ(widget->pos(), QPoint(50, 60));
}

TEST(Ticks, StopWithTheWindowObject) {
  QtPlatform platform;
  RecordingEvents events;
  auto window = platform.createWindow(twoTimers(), events);
  QWidget* widget = static_cast<QtWindow*>(window.get())->widget();
  window.reset();
  EXPECT_FALSE(widget->isVisible());
  runEventsFor(50);
  EXPECT_TRUE(events.ticks.empty());
}

}  // namespace
}  // namespace guizzolo::qt::test
