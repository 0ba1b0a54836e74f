// Helpers shared by the Qt-level tests.
#pragma once

#include <QCoreApplication>
#include <functional>
#include <QElapsedTimer>
#include <vector>

#include "platform/platform.h"

namespace guizzolo::qt::test {

// Records what a window tells the program.
struct RecordingEvents : WindowEvents {
  std::vector<int> ticks;  // timer ids, in order
  std::vector<std::pair<int, int>> presses;  // control id, button
  std::vector<int> clicks;
  std::function<void(int)> onTick;
  std::function<void(int, int)> onPress;

  void timer(int timerId) override {
    ticks.push_back(timerId);
    if (onTick) onTick(timerId);
  }
  void mouseDown(int controlId, int button) override {
    presses.emplace_back(controlId, button);
    if (onPress) onPress(controlId, button);
  }
  void click(int controlId) override { clicks.push_back(controlId); }
};

inline void runEventsFor(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace guizzolo::qt::test
