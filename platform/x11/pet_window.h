// The pet's window on plain xcb: borderless, never active, shaped to the
// fish (or, under a compositing manager, 32-bit with the key colour fully
// transparent). The window's background pixmap is the picture, so the X
// server repaints it and the program never draws; each picture is made and
// uploaded once, with its shape. A tick's moves, band and raise go out as
// one configure when the tick is over.
#pragma once

#include <xcb/xcb.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <optional>
#include <vector>

#include "platform/image/image.h"
#include "platform/platform.h"
#include "platform/x11/tick_gate.h"
#include "platform/x11/commits.h"
#include "platform/x11/configure.h"
#include "platform/x11/event_loop.h"
#include "platform/x11/kept_window.h"
#include "platform/x11/pet_pixels.h"
#include "platform/x11/x_display.h"

namespace guizzolo::x11 {

class PetWindow;

// What every pet window shares with the platform.
struct PetEnv {
  XDisplay& display;
  EventLoop& loop;
  Commits& commits;
  const TickGate& ticks;
  double scale = 1.0;  // screen pixels per program pixel
  // The pictures as decoded from the program, once.
  std::function<const image::Image&(Picture)> picture;
  std::function<xcb_cursor_t(Pointer)> pointer;
  std::set<PetWindow*> windows;  // the live ones
  // A close request on a pet window (WM_DELETE_WINDOW): ends the session.
  std::function<void()> endSession;
};

struct PetControl {
  ControlKind kind;
  bool visible;
  Geometry place;        // screen pixels, in the window
  image::Image picture;  // pictures: scaled to the control
  std::string text;
};

class PetWindow final : public KeptWindow<PetControl> {
 public:
  PetWindow(PetEnv& env, const WindowLayout& layout, WindowEvents& events, float twipsPerPixelX,
            float twipsPerPixelY);
  ~PetWindow() override;
  PetWindow(const PetWindow&) = delete;
  PetWindow& operator=(const PetWindow&) = delete;

  void show() override;
  void setWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy, std::uint32_t flags) override;

  void giveFocus() override {}  // focus is the user's: never taken from a timer
  void releaseCapture() override;
  void dragMove() override;

  // A message box of the program is about to show / has gone: a drag's
  // pointer grab gives way to it, and comes back only if the button is
  // still held.
  void suspendDrag();
  void resumeDrag();

  xcb_window_t id() const { return id_; }
  bool argb() const { return depth_ == 32; }

 private:
  using Control = PetControl;
  struct Look {  // what the window shows, made once per combination
    xcb_pixmap_t pixmap = XCB_NONE;
    std::vector<ShapeRect> shape;
    bool keyed = false;
  };

  void commit() override;
  bool keyed() const;
  std::vector<bool> visibility() const;
  const Look& currentLook();
  void applyLook();
  bool raiseNeeded();
  void sendBand(bool above);
  void writeStates();
  void onEvent(const xcb_generic_event_t& e);
  void onRootEvent(const xcb_generic_event_t& e);
  std::optional<bool> leftButtonDown(int* rootX = nullptr, int* rootY = nullptr);
  bool grab();
  void ungrab();
  void endDrag();

  PetEnv& env_;
  xcb_connection_t* c_;
  xcb_window_t id_ = XCB_NONE;
  xcb_colormap_t colormap_ = XCB_NONE;
  xcb_gcontext_t gc_ = XCB_NONE;
  std::uint8_t depth_ = 0;
  Geometry sent_;  // what the server was last told, screen pixels
  std::map<std::vector<std::uint64_t>, Look> looks_;
  const Look* shown_ = nullptr;

  bool mapped_ = false;
  bool wantAbove_ = false, sentAbove_ = false;
  bool raiseWanted_ = false;
  // Stacking: whether the window manager's list changed since we last looked,
  // and the order our last raise could not change (a dock above us).
  bool stackingChanged_ = true, stackingKnown_ = true, justRaised_ = false;
  std::vector<xcb_window_t> unreachable_;

  std::optional<std::pair<int, int>> pressPoint_;  // screen pixels in the window
  bool dragging_ = false, grabbed_ = false;
  std::pair<int, int> grabOffset_;
};

}  // namespace guizzolo::x11
