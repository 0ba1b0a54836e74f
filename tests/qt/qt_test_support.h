// Helpers shared by the Qt-level tests.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace guizzolo::qt::test {

// Records what a window tells the program.
struct RecordingEvents : WindowEvents {
  std::vector<int> clicks;
  void click(int controlId) override { clicks.push_back(controlId); }
};

}  // namespace guizzolo::qt::test
