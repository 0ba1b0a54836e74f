// The program's entry on Linux: the pet on plain X11, with no arguments read.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/program.h"
#include "platform/posix/session_signals.h"
#include "platform/x11/scale.h"
#include "platform/x11/session_client.h"
#include "platform/x11/x11_platform.h"

int main() {
  constexpr const char* kName = "NuvoNuvo";
  // Before anything (Qt included, later) can read it.
  const std::optional<double> factor = guizzolo::x11::sanitiseScaleFactor(kName);
  // Early, so a logout during start-up waits in the pipe for the loop.
  const int sessionEnd = guizzolo::posix::sessionSignalFd();
  std::string tried;
  const auto display = guizzolo::x11::XDisplay::open(tried);
  if (!display) {
    std::fprintf(stderr, "%s: no display could be opened (%s)\n", kName, tried.c_str());
    return 1;
  }
  guizzolo::x11::X11Platform platform(*display, factor);
  guizzolo::Program program(platform);
  // A close request on the pet, and the X server going away, end the session too.
  platform.onSessionEnd([&] { program.EndSession(); });
  // Also inside a message box or a drag: their loops are this loop.
  if (sessionEnd >= 0) {
    platform.loop().watch(sessionEnd, [&] {
      guizzolo::posix::takeSessionSignals(sessionEnd);
      program.EndSession();
    });
  }
  // The session manager's die at a logout ends the session the same way.
  const auto session = guizzolo::x11::SessionClient::connect(platform.loop(), [&] { program.EndSession(); });
  {
    // The window appears once, as the load handler left it.
    guizzolo::x11::Commits::Batch start(platform.commits());
    program.Start();
  }
  platform.run();
}
