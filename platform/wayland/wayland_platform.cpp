#include "platform/wayland/wayland_platform.h"

namespace guizzolo::wayland {

WaylandPlatform::WaylandPlatform(WaylandDisplay& display)
    : display_(display), env_{display, loop_, commits_, ticks_} {}

std::unique_ptr<Window> WaylandPlatform::createWindow(const WindowLayout& layout, WindowEvents& events) {
  if (layout.style == WindowStyle::Borderless)
    return std::make_unique<LayerPetWindow>(env_, layout, events, twipsPerPixelX(), twipsPerPixelY());
  return createPanel(layout, events, display_.screen());
}

}  // namespace guizzolo::wayland
