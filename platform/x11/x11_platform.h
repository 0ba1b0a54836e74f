// The platform the program runs on under X11, without a toolkit: the pet
// window on xcb; the rest is shared with every Linux desktop.
#pragma once

#include <functional>
#include <memory>
#include <set>

#include "platform/x11/desktop_platform.h"
#include "platform/x11/pet_window.h"
#include "platform/x11/x_display.h"

namespace guizzolo::x11 {

class X11Platform final : public DesktopPlatform {
 public:
  // scaleFactor: QT_SCALE_FACTOR as kept after the sanity check.
  X11Platform(XDisplay& display, std::optional<double> scaleFactor);
  ~X11Platform() override;

  std::unique_ptr<Window> createWindow(const WindowLayout& layout, WindowEvents& events) override;

  // What a session end does (the program's): also run at a close request on
  // the pet window, and when the X server is gone (then the program ends
  // with status 1). It must end the program.
  void onSessionEnd(std::function<void()> end);
  double scale() const { return env_.scale; }

 private:
  void suspendDrags() override;
  void resumeDrags() override;
  xcb_cursor_t pointer(Pointer pointer);
  xcb_cursor_t grabHand_ = XCB_NONE;
  bool grabHandMade_ = false;
  XDisplay& display_;
  PetEnv env_;
  std::function<void()> sessionEnd_;
};

}  // namespace guizzolo::x11
