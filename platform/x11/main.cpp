// The program's entry on Linux, with no arguments read: the pet on a
// Wayland compositor's layer shell where the session offers one, else on
// plain X11 (XWayland included).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/program.h"
#include "platform/posix/session_signals.h"
#include "platform/x11/scale.h"
#include "platform/x11/session_client.h"
#include "platform/x11/x11_platform.h"
#ifdef GUIZZOLO_WAYLAND
#include "platform/wayland/wayland_platform.h"
#endif

namespace {

// Runs the program on the platform until it ends. `attach` hooks the
// window system's connection into the loop, its loss ending the session.
template <typename P, typename Attach>
[[noreturn]] void run(P& platform, int sessionEnd, Attach attach) {
  guizzolo::Program program(platform);
  attach([&] { program.EndSession(); });
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

}  // namespace

int main() {
  constexpr const char* kName = "NuvoNuvo";
  // Before anything (Qt included, later) can read it.
  const std::optional<double> factor = guizzolo::x11::sanitiseScaleFactor(kName);
  // Early, so a logout during start-up waits in the pipe for the loop.
  const int sessionEnd = guizzolo::posix::sessionSignalFd();
#ifdef GUIZZOLO_WAYLAND
  if (const auto wayland = guizzolo::wayland::WaylandDisplay::connect()) {
    guizzolo::wayland::WaylandPlatform platform(*wayland);
    // A compositor that goes away ends the session, as a logout does.
    run(platform, sessionEnd, [&](auto end) {
      wayland->attach(platform.loop(), [&platform, end] {
        platform.connectionLost();
        end();
      });
    });
  }
#endif
  std::string tried;
  const auto display = guizzolo::x11::XDisplay::open(tried);
  if (!display) {
    std::fprintf(stderr, "%s: no display could be opened (%s)\n", kName, tried.c_str());
    return 1;
  }
  guizzolo::x11::X11Platform platform(*display, factor);
  // A close request on the pet, and the X server going away, end the session too.
  run(platform, sessionEnd, [&](auto end) { platform.onSessionEnd(end); });
}
