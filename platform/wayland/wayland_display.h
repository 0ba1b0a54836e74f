// The connection to a Wayland compositor that offers the layer shell: its
// globals, its outputs and the seat's pointer, read in the program's one
// loop. Pointer events are handed on after libwayland's dispatch is over, so
// a handler may run a nested loop (a drag, a message box) that reads the
// connection again.
#pragma once

#include <wayland-client.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/x11/event_loop.h"

struct zwlr_layer_shell_v1;
struct wp_viewporter;
struct wp_fractional_scale_manager_v1;
struct zwp_relative_pointer_manager_v1;
struct zwp_relative_pointer_v1;

namespace guizzolo::wayland {

// What a pet window hears of the pointer, in surface-local pixels.
class PointerSink {
 public:
  virtual ~PointerSink() = default;
  virtual void pointerEnter(std::uint32_t serial, double x, double y) = 0;
  virtual void pointerLeave() = 0;
  virtual void pointerMotion(double x, double y) = 0;
  virtual void pointerButton(std::uint32_t button, bool pressed) = 0;
  // How far the pointer went, whatever the surface did meanwhile.
  virtual void pointerDelta(double dx, double dy) = 0;
};

class WaylandDisplay {
 public:
  // Nothing when WAYLAND_DISPLAY is unset, the compositor cannot be reached
  // or offers no layer shell (the program then stays on X11).
  static std::unique_ptr<WaylandDisplay> connect();
  ~WaylandDisplay();
  WaylandDisplay(const WaylandDisplay&) = delete;
  WaylandDisplay& operator=(const WaylandDisplay&) = delete;

  // Reads the connection in the loop; `lost` runs once when the compositor
  // has gone away.
  void attach(x11::EventLoop& loop, std::function<void()> lost);

  wl_display* display() const { return display_; }
  wl_compositor* compositor() const { return compositor_; }
  wl_shm* shm() const { return shm_; }
  zwlr_layer_shell_v1* layerShell() const { return layerShell_; }
  wp_viewporter* viewporter() const { return viewporter_; }
  wp_fractional_scale_manager_v1* fractionalScale() const { return fractional_; }
  wl_pointer* pointer() const { return pointer_; }

  // The first output's size in its own logical pixels (its mode over its
  // scale); 1280x800 until one is known.
  PixelRect screen() const;
  // An output's integer scale, 1 for one not known.
  int outputScale(wl_output* output) const;

  // Pointer events on `surface` go to `sink` (nullptr: no more).
  void route(wl_surface* surface, PointerSink* sink);
  // Runs `event` in its place among the pointer events: after those that
  // came before it from the compositor, before those after.
  void defer(std::function<void()> event) { pending_.push_back(std::move(event)); }
  void flush();
  bool lost() const { return lost_; }

  // Listeners, called by libwayland.
  struct Output {
    wl_output* output = nullptr;
    std::uint32_t name = 0;
    int scale = 1;
    int width = 0, height = 0;  // the current mode, device pixels
  };
  void addGlobal(wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version);
  void removeGlobal(std::uint32_t name);
  void seatCapabilities(std::uint32_t caps);
  void pointerEvent(wl_surface* surface, std::function<void(PointerSink&)> event);
  void pointerEvent(std::function<void(PointerSink&)> event);

 private:
  WaylandDisplay() = default;
  void readable();
  void afterDispatch();
  void deliver();
  void connectionLost();

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  wp_viewporter* viewporter_ = nullptr;
  wp_fractional_scale_manager_v1* fractional_ = nullptr;
  wl_seat* seat_ = nullptr;
  std::uint32_t seatVersion_ = 0;
  wl_pointer* pointer_ = nullptr;
  zwp_relative_pointer_manager_v1* relativeManager_ = nullptr;
  zwp_relative_pointer_v1* relative_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;

  wl_surface* routed_ = nullptr;
  PointerSink* sink_ = nullptr;
  wl_surface* pointerFocus_ = nullptr;
  std::deque<std::function<void()>> pending_;

  x11::EventLoop* loop_ = nullptr;
  std::function<void()> onLost_;
  bool lost_ = false;
};

}  // namespace guizzolo::wayland
