// The program's connection to the X server: the screen, the names (atoms)
// it uses, what the desktop offers (a compositing manager, a 32-bit visual,
// the DPI of its resources), and the routing of events to their windows.
#pragma once

#include <xcb/xcb.h>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/x11/event_loop.h"

namespace guizzolo::x11 {

struct Atoms {
  xcb_atom_t netWmState, stateAbove, stateSkipTaskbar, stateSkipPager, netWmWindowType,
      typeUtility, netWmPid, netWmName, utf8String, motifHints,
      clientListStacking, netActiveWindow, resourceManager, wmProtocols, wmDeleteWindow, netSupportingWmCheck,
      winLayer, netWmCmS;
};

class XDisplay {
 public:
  // Nothing when no display can be opened; `error` says which one was tried.
  static std::unique_ptr<XDisplay> open(std::string& error);
  ~XDisplay();
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;

  xcb_connection_t* c() const { return c_; }
  const xcb_screen_t& screen() const { return *screen_; }
  xcb_window_t root() const { return screen_->root; }
  const Atoms& atoms() const { return atoms_; }
  std::optional<double> resourceDpi() const { return dpi_; }
  // A compositing manager draws the screen (or the server is XWayland):
  // windows may be translucent, and some such desktops ignore shapes.
  bool compositing() const { return compositing_; }
  // A 32-bit TrueColor visual with alpha, if the screen has one.
  std::optional<xcb_visualid_t> argbVisual() const { return argbVisual_; }
  bool hasShape() const { return hasShape_; }
  bool hasRender() const { return hasRender_; }
  // weston's XWayland window manager places every managed window itself and
  // ignores its moves: there the pet is left to itself (override-redirect).
  bool westonWm() const { return westonWm_; }

  // Events for a window (or the root) go to its handler.
  void route(xcb_window_t window, std::function<void(const xcb_generic_event_t&)> handler);
  void unroute(xcb_window_t window);

  // Reads and routes every event the server has sent; once the connection
  // has broken (the X server is gone), calls the handler given to onLost.
  void drain(bool readSocket);
  // What to do when the X server is gone; the handler must end the program.
  // Without one, the program ends at once with status 1.
  void onLost(std::function<void()> lost) { lost_ = std::move(lost); }
  void attach(EventLoop& loop);
  void flush() { xcb_flush(c_); }

  // The window manager's stacking list, bottom to top (a round trip); nothing
  // when there is no window manager keeping one. Under weston, which keeps
  // none, the server's own order of the top-level windows.
  std::optional<std::vector<xcb_window_t>> stackingList();

 private:
  XDisplay() = default;
  void checkBroken();

  xcb_connection_t* c_ = nullptr;
  const xcb_screen_t* screen_ = nullptr;
  Atoms atoms_{};
  std::optional<double> dpi_;
  bool compositing_ = false;
  std::optional<xcb_visualid_t> argbVisual_;
  bool hasShape_ = false;
  bool hasRender_ = false;
  bool westonWm_ = false;
  std::map<xcb_window_t, std::function<void(const xcb_generic_event_t&)>> routes_;
  std::function<void()> lost_;
  bool losing_ = false;
};

}  // namespace guizzolo::x11
