// The pet's window on a Wayland compositor's layer shell: a surface of the
// overlay layer (above floating and full-screen windows alike), never a
// toplevel (no taskbar or switcher entry), never given the keyboard, placed
// on its output by its top-left anchor and margins. Its input region is the
// fish's own pixels, so a press beside the fish reaches the window below.
// Each picture is one buffer, made once; a tick commits the surface once.
#pragma once

#include <wayland-client.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "platform/platform.h"
#include "platform/wayland/wayland_display.h"
#include "platform/x11/commits.h"
#include "platform/x11/configure.h"
#include "platform/x11/event_loop.h"
#include "platform/x11/kept_window.h"
#include "platform/x11/pet_pixels.h"
#include "platform/x11/tick_gate.h"

struct zwlr_layer_surface_v1;
struct wp_viewport;
struct wp_fractional_scale_v1;

namespace guizzolo::wayland {

struct PetEnv {
  WaylandDisplay& display;
  x11::EventLoop& loop;
  x11::Commits& commits;
  const x11::TickGate& ticks;
};

struct LayerControl {
  ControlKind kind;
  bool visible;
  x11::Geometry place;  // the program's pixels, in the window
  Picture picture;
  bool stretch;
  std::string text;
};

class LayerPetWindow final : public x11::KeptWindow<LayerControl>, private PointerSink {
 public:
  LayerPetWindow(PetEnv& env, const WindowLayout& layout, WindowEvents& events, float twipsPerPixelX,
                 float twipsPerPixelY);
  ~LayerPetWindow() override;
  LayerPetWindow(const LayerPetWindow&) = delete;
  LayerPetWindow& operator=(const LayerPetWindow&) = delete;

  void setWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy, std::uint32_t flags) override;

  void giveFocus() override {}  // the overlay layer takes no keyboard
  void releaseCapture() override {}
  void dragMove() override;

  // Listeners, called by libwayland.
  void configured(std::uint32_t serial);
  void closed();
  void synced(wl_callback* callback);
  void entered(wl_output* output);
  void left(wl_output* output);
  void preferredScale(std::uint32_t scale120);

 private:
  using Control = LayerControl;
  struct Look {  // one picture at one scale, made once
    wl_buffer* buffer = nullptr;
    int width = 0, height = 0;  // buffer pixels
    std::vector<x11::ShapeRect> shape;  // surface pixels
    bool keyed = false;
  };

  void commit() override;
  bool keyed() const;
  double scale() const;
  const Look& currentLook();
  void createSurface();
  void destroySurface();
  void applyLook(const Look& look);

  void pointerEnter(std::uint32_t serial, double x, double y) override;
  void pointerLeave() override;
  void pointerMotion(double x, double y) override;
  void pointerButton(std::uint32_t button, bool pressed) override;
  void pointerDelta(double dx, double dy) override;
  void setCursor(std::uint32_t serial);

  PetEnv& env_;

  wl_surface* surface_ = nullptr;
  zwlr_layer_surface_v1* layer_ = nullptr;
  wp_viewport* viewport_ = nullptr;
  wp_fractional_scale_v1* fractional_ = nullptr;
  bool configured_ = false;
  std::optional<x11::Geometry> placed_;  // as last committed
  // Where the compositor had the surface when it sent the pointer events
  // now being read: a place is known to be taken once the answer to a sync
  // sent after its commit comes back.
  x11::Geometry basis_;
  std::vector<std::pair<wl_callback*, x11::Geometry>> syncs_;
  std::map<std::vector<std::uint64_t>, Look> looks_;
  const Look* shown_ = nullptr;
  std::set<wl_output*> outputs_;  // those the surface is on
  std::uint32_t scale120_ = 0;    // the compositor's preferred fractional scale

  wl_surface* cursorSurface_ = nullptr;
  wl_buffer* cursorBuffer_ = nullptr;
  int cursorHotX_ = 0, cursorHotY_ = 0;
  bool grabHand_ = false;

  std::pair<double, double> pointerAt_{0, 0};  // surface pixels
  bool pointerIn_ = false, leftDown_ = false;
  std::pair<double, double> pressPoint_{0, 0};
  bool dragging_ = false;
  std::pair<double, double> dragStart_{0, 0}, dragAt_{0, 0};  // the drag's places
  bool relativeSeen_ = false;  // this drag has had relative steps
};

}  // namespace guizzolo::wayland
