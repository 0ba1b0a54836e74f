// The platform the program runs on in a Wayland session whose compositor
// offers the layer shell: the pet on that shell; the panel and the message
// boxes in the Qt module (on XWayland where there is one, as in any other
// session, else on Qt's own Wayland platform); the rest shared with X11.
#pragma once

#include "platform/wayland/layer_pet_window.h"
#include "platform/wayland/wayland_display.h"
#include "platform/x11/desktop_platform.h"

namespace guizzolo::wayland {

class WaylandPlatform final : public x11::DesktopPlatform {
 public:
  explicit WaylandPlatform(WaylandDisplay& display);

  std::unique_ptr<Window> createWindow(const WindowLayout& layout, WindowEvents& events) override;

 private:
  WaylandDisplay& display_;
  PetEnv env_;
};

}  // namespace guizzolo::wayland
