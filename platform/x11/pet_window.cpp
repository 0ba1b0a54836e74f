#include "platform/x11/pet_window.h"

#include <unistd.h>
#include <xcb/shape.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/twips.h"

namespace guizzolo::x11 {
namespace {

void setProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t name, xcb_atom_t type, std::uint8_t format,
                 std::uint32_t count, const void* data) {
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, name, type, format, count, data);
}

// Pixels to a drawable, in strips that fit the server's largest request.
void putPixels(xcb_connection_t* c, xcb_drawable_t to, xcb_gcontext_t gc, std::uint8_t depth, int width,
               int height, const std::vector<std::uint32_t>& argb) {
  const std::uint32_t maxBytes = xcb_get_maximum_request_length(c) * 4u - 64u;
  const auto rowBytes = static_cast<std::uint32_t>(width) * 4u;
  const int rowsPerStrip = std::max<int>(1, static_cast<int>(maxBytes / std::max(rowBytes, 1u)));
  const bool swap = xcb_get_setup(c)->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
  std::vector<std::uint32_t> strip;
  for (int y = 0; y < height; y += rowsPerStrip) {
    const int rows = std::min(rowsPerStrip, height - y);
    const auto* from = argb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    strip.assign(from, from + static_cast<std::size_t>(rows) * static_cast<std::size_t>(width));
    if (swap)
      for (std::uint32_t& p : strip) p = __builtin_bswap32(p);
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, to, gc, static_cast<std::uint16_t>(width),
                  static_cast<std::uint16_t>(rows), 0, static_cast<std::int16_t>(y), 0, depth,
                  static_cast<std::uint32_t>(strip.size() * 4), reinterpret_cast<const std::uint8_t*>(strip.data()));
  }
}

}  // namespace

PetWindow::PetWindow(PetEnv& env, const WindowLayout& layout, WindowEvents& events, float twipsPerPixelX,
                     float twipsPerPixelY)
    : KeptWindow(env.loop, env.commits, env.ticks, events, layout.backColour), env_(env), c_(env.display.c()) {
  const double s = env_.scale;
  const auto px = [&](float twips) { return twipsToPixels(twips, twipsPerPixelX); };
  const auto py = [&](float twips) { return twipsToPixels(twips, twipsPerPixelY); };
  const xcb_screen_t& screen = env_.display.screen();
  logical_.width = std::max(px(layout.clientWidth), 1);
  logical_.height = std::max(py(layout.clientHeight), 1);
  if (layout.centred) {
    logical_.x = (toLogical(screen.width_in_pixels, s) - logical_.width) / 2;
    logical_.y = (toLogical(screen.height_in_pixels, s) - logical_.height) / 2;
  }
  sent_ = Geometry{toDevice(logical_.x, s), toDevice(logical_.y, s), toDevice(logical_.width, s),
                   toDevice(logical_.height, s)};

  for (const ControlLayout& cl : layout.controls) {
    Control ctl{cl.kind, cl.visible, {}, {}, cl.caption};
    ctl.place = Geometry{toDevice(px(cl.left), s), toDevice(py(cl.top), s), toDevice(px(cl.width), s),
                         toDevice(py(cl.height), s)};
    if (cl.kind == ControlKind::Picture && cl.picture != Picture::None && env_.picture) {
      const image::Image& source = env_.picture(cl.picture);
      // Nearest neighbour only: a smooth scaling would blend the outline
      // into the key colour and leave a cyan fringe.
      ctl.picture = cl.stretch ? image::scaledNearest(source, ctl.place.width, ctl.place.height) : source;
    }
    controls_.push_back(std::move(ctl));
  }

  // Under a compositing manager the key colour becomes real transparency:
  // some such desktops ignore a window's shape and would show a box.
  const bool argb = env_.display.compositing() && env_.display.argbVisual().has_value();
  xcb_visualid_t visual = screen.root_visual;
  depth_ = screen.root_depth;
  id_ = xcb_generate_id(c_);
  std::uint32_t mask = XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK;
  std::vector<std::uint32_t> values = {0, 0};
  // weston places every window its manager manages and ignores the window's
  // own moves: unmanaged, the pet moves itself, never gets the keyboard from
  // the window manager, and is kept on top by the program.
  if (env_.display.westonWm()) {
    mask |= XCB_CW_OVERRIDE_REDIRECT;
    values.push_back(1);
  }
  values.push_back(XCB_EVENT_MASK_BUTTON_PRESS);
  if (argb) {
    visual = *env_.display.argbVisual();
    depth_ = 32;
    colormap_ = xcb_generate_id(c_);
    xcb_create_colormap(c_, XCB_COLORMAP_ALLOC_NONE, colormap_, screen.root, visual);
    mask |= XCB_CW_COLORMAP;
    values.push_back(colormap_);
  }
  const xcb_cursor_t cursor = env_.pointer ? env_.pointer(Pointer::GrabHand) : XCB_NONE;
  const bool anyPointer = std::any_of(layout.controls.begin(), layout.controls.end(),
                                      [](const ControlLayout& cl) { return cl.pointer == Pointer::GrabHand; });
  if (cursor != XCB_NONE && anyPointer) {
    mask |= XCB_CW_CURSOR;
    values.push_back(cursor);
  }
  xcb_create_window(c_, depth_, id_, screen.root, static_cast<std::int16_t>(sent_.x),
                    static_cast<std::int16_t>(sent_.y), static_cast<std::uint16_t>(sent_.width),
                    static_cast<std::uint16_t>(sent_.height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual, mask,
                    values.data());
  gc_ = xcb_generate_id(c_);
  xcb_pixmap_t scratch = xcb_generate_id(c_);
  xcb_create_pixmap(c_, depth_, scratch, id_, 1, 1);
  xcb_create_gc(c_, gc_, scratch, 0, nullptr);
  xcb_free_pixmap(c_, scratch);

  const Atoms& a = env_.display.atoms();
  const std::string& title = layout.caption;
  setProperty(c_, id_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(title.size()), title.data());
  setProperty(c_, id_, a.netWmName, a.utf8String, 8, static_cast<std::uint32_t>(title.size()), title.data());
  static const char kClass[] = "NuvoNuvo\0NuvoNuvo";
  setProperty(c_, id_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof kClass, kClass);
  const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
  setProperty(c_, id_, a.netWmPid, XCB_ATOM_CARDINAL, 32, 1, &pid);
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) == 0)
    setProperty(c_, id_, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(std::strlen(host)), host);
  // Never the keyboard's (input False, and no WM_TAKE_FOCUS), never urgent.
  const std::uint32_t hints[9] = {1u | 2u, 0, 1 /* NormalState */, 0, 0, 0, 0, 0, 0};
  setProperty(c_, id_, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
  // Placed by the program (USPosition, PPosition), of the program's size.
  std::uint32_t normal[18] = {};
  normal[0] = 1u | 4u | 8u;
  setProperty(c_, id_, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, normal);
  // No _NET_WM_USER_TIME: input False alone keeps the window managers from
  // activating it, while KWin marks a window mapped with user time 0 as
  // demanding attention.
  setProperty(c_, id_, a.netWmWindowType, XCB_ATOM_ATOM, 32, 1, &a.typeUtility);
  const std::uint32_t motif[5] = {2 /* decorations */, 0, 0, 0, 0};
  setProperty(c_, id_, a.motifHints, a.motifHints, 32, 5, motif);
  // A close request (a taskbar's close, wmctrl -c) is answered as a session
  // end: without this protocol the window manager kills the connection,
  // and the day's hunger would be lost.
  setProperty(c_, id_, a.wmProtocols, XCB_ATOM_ATOM, 32, 1, &a.wmDeleteWindow);

  std::weak_ptr<bool> weak = alive_;
  env_.display.route(id_, [this, weak](const xcb_generic_event_t& e) {
    if (weak.lock()) onEvent(e);
  });
  // One pet window per program: it alone listens to the root.
  env_.display.route(env_.display.root(), [this, weak](const xcb_generic_event_t& e) {
    if (weak.lock()) onRootEvent(e);
  });

  start(layout);
  env_.windows.insert(this);
}

PetWindow::~PetWindow() {
  *alive_ = false;
  env_.windows.erase(this);
  if (grabbed_) xcb_ungrab_pointer(c_, XCB_CURRENT_TIME);
  env_.display.unroute(id_);
  env_.display.unroute(env_.display.root());
  xcb_destroy_window(c_, id_);
  for (auto& [key, look] : looks_) xcb_free_pixmap(c_, look.pixmap);
  xcb_free_gc(c_, gc_);
  if (colormap_ != XCB_NONE) xcb_free_colormap(c_, colormap_);
  xcb_flush(c_);
}

void PetWindow::show() {
  raiseWanted_ = true;
  KeptWindow::show();
}

void PetWindow::setWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy, std::uint32_t flags) {
  if (insertAfter == win::kHwndTopMost || insertAfter == win::kHwndNoTopMost) {
    const bool above = insertAfter == win::kHwndTopMost;
    if (above != wantAbove_) stackingChanged_ = true;  // a new band: look again
    wantAbove_ = above;
  }
  keepPlace(x, y, cx, cy, flags);
  if ((flags & win::kSwpNoZOrder) == 0) raiseWanted_ = true;
  changed();
}

bool PetWindow::keyed() const {
  return (extendedStyle_ & win::kWsExLayered) != 0 && (layeredFlags_ & win::kLwaColorKey) != 0;
}

std::vector<bool> PetWindow::visibility() const {
  std::vector<bool> v;
  for (const Control& c : controls_) v.push_back(c.visible);
  return v;
}

const PetWindow::Look& PetWindow::currentLook() {
  std::vector<std::uint64_t> key = {backColour_, keyed() ? key_ : 0xFFFFFFFFu,
                                    static_cast<std::uint64_t>(sent_.width) << 32 | static_cast<std::uint32_t>(sent_.height)};
  for (bool v : visibility()) key.push_back(v);
  auto it = looks_.find(key);
  if (it != looks_.end()) return it->second;
  std::vector<PlacedPicture> pictures;
  for (const Control& c : controls_)
    if (c.kind == ControlKind::Picture && c.visible && c.picture.width > 0)
      pictures.push_back(PlacedPicture{&c.picture, c.place.x, c.place.y});
  const PetPixels pixels = composePet(sent_.width, sent_.height, backColour_, keyed(), key_, pictures);
  Look look;
  look.pixmap = xcb_generate_id(c_);
  look.shape = pixels.shape;
  look.keyed = pixels.keyed;
  xcb_create_pixmap(c_, depth_, look.pixmap, id_, static_cast<std::uint16_t>(pixels.width),
                    static_cast<std::uint16_t>(pixels.height));
  putPixels(c_, look.pixmap, gc_, depth_, pixels.width, pixels.height, pixels.argb);
  return looks_.emplace(std::move(key), std::move(look)).first->second;
}

void PetWindow::applyLook() {
  const Look& look = currentLook();
  if (&look == shown_) return;
  const Look* before = shown_;
  shown_ = &look;
  xcb_change_window_attributes(c_, id_, XCB_CW_BACK_PIXMAP, &look.pixmap);
  if (mapped_) xcb_clear_area(c_, 0, id_, 0, 0, 0, 0);
  if (!env_.display.hasShape()) return;
  // One shape request per picture change: the input shape follows the
  // bounding one, so the cut pixels let presses through too.
  if (look.keyed) {
    if (before == nullptr || !before->keyed || before->shape != look.shape)
      xcb_shape_rectangles(c_, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_YX_BANDED, id_, 0, 0,
                           static_cast<std::uint32_t>(look.shape.size()),
                           reinterpret_cast<const xcb_rectangle_t*>(look.shape.data()));
  } else if (before != nullptr && before->keyed) {
    xcb_shape_mask(c_, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, id_, 0, 0, XCB_NONE);
  }
}

void PetWindow::writeStates() {
  const Atoms& a = env_.display.atoms();
  std::vector<xcb_atom_t> states = {a.stateSkipTaskbar, a.stateSkipPager};
  if (wantAbove_) states.push_back(a.stateAbove);
  setProperty(c_, id_, a.netWmState, XCB_ATOM_ATOM, 32, static_cast<std::uint32_t>(states.size()), states.data());
  // The older layer hint too: icewm puts a window mapped with the state
  // above in its top layer but only lets it leave a layer it asked for by
  // this hint, so without it the fish could never leave the top band.
  constexpr std::uint32_t kLayerNormal = 4, kLayerOnTop = 6;
  const std::uint32_t layer = wantAbove_ ? kLayerOnTop : kLayerNormal;
  setProperty(c_, id_, a.winLayer, XCB_ATOM_CARDINAL, 32, 1, &layer);
  sentAbove_ = wantAbove_;
}

void PetWindow::sendBand(bool above) {
  const Atoms& a = env_.display.atoms();
  xcb_client_message_event_t m;
  std::memset(&m, 0, sizeof m);
  m.response_type = XCB_CLIENT_MESSAGE;
  m.format = 32;
  m.window = id_;
  m.type = a.netWmState;
  m.data.data32[0] = above ? 1 : 0;  // _NET_WM_STATE_ADD / _REMOVE
  m.data.data32[1] = a.stateAbove;
  m.data.data32[3] = 1;  // from an application
  xcb_send_event(c_, 0, env_.display.root(),
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&m));
  sentAbove_ = above;
}

bool PetWindow::raiseNeeded() {
  if (!stackingKnown_) return true;
  if (!stackingChanged_) return false;
  stackingChanged_ = false;
  const auto list = env_.display.stackingList();
  if (!list) {
    // No window manager keeps a stacking list: raise whenever asked.
    stackingKnown_ = false;
    return true;
  }
  const bool onTop = !list->empty() && list->back() == id_;
  if (justRaised_) {
    justRaised_ = false;
    // Our own raise left something above us (a window of a higher layer):
    // raising again would change nothing until the order changes.
    if (!onTop) unreachable_ = *list;
    return false;
  }
  return !onTop && *list != unreachable_;
}

void PetWindow::commit() {
  const double s = env_.scale;
  const Geometry wanted{toDevice(logical_.x, s), toDevice(logical_.y, s), std::max(toDevice(logical_.width, s), 1),
                        std::max(toDevice(logical_.height, s), 1)};
  bool raise = false;
  if (raiseWanted_ && wantMapped_) {
    raiseWanted_ = false;
    raise = !mapped_ || raiseNeeded();
  }
  raiseWanted_ = false;
  if (mapped_ && wantAbove_ != sentAbove_ && !env_.display.westonWm()) sendBand(wantAbove_);
  const ConfigureRequest r = configureFor(sent_, wanted, raise && mapped_);
  if (!r.empty()) {
    xcb_configure_window(c_, id_, r.mask, r.values.data());
    if (raise && mapped_) justRaised_ = true;
  }
  sent_ = wanted;
  applyLook();
  if (wantMapped_ && !mapped_) {
    // The window manager reads these at the map: no taskbar entry, no pager,
    // and the band.
    writeStates();
    xcb_map_window(c_, id_);
    mapped_ = true;
    stackingChanged_ = true;
  } else if (!wantMapped_ && mapped_) {
    xcb_unmap_window(c_, id_);
    mapped_ = false;
  }
  xcb_flush(c_);
}

void PetWindow::onRootEvent(const xcb_generic_event_t& e) {
  switch (e.response_type & 0x7f) {
    case XCB_PROPERTY_NOTIFY: {
      const auto& p = reinterpret_cast<const xcb_property_notify_event_t&>(e);
      if (p.atom == env_.display.atoms().clientListStacking) stackingChanged_ = true;
      return;
    }
    // Selected under weston only: another window mapped or restacked may
    // now be above the pet. The pet's own moves tell nothing, but the
    // answer to its own raise does (a window it cannot pass).
    case XCB_MAP_NOTIFY:
      if (reinterpret_cast<const xcb_map_notify_event_t&>(e).window != id_) stackingChanged_ = true;
      return;
    case XCB_CONFIGURE_NOTIFY:
      if (reinterpret_cast<const xcb_configure_notify_event_t&>(e).window != id_ || justRaised_)
        stackingChanged_ = true;
      return;
    default: return;
  }
}

void PetWindow::onEvent(const xcb_generic_event_t& e) {
  switch (e.response_type & 0x7f) {
    case XCB_CLIENT_MESSAGE: {
      const auto& m = reinterpret_cast<const xcb_client_message_event_t&>(e);
      const Atoms& a = env_.display.atoms();
      if (m.type == a.wmProtocols && m.format == 32 && m.data.data32[0] == a.wmDeleteWindow && env_.endSession)
        env_.endSession();
      return;
    }
    case XCB_BUTTON_PRESS: {
      const auto& b = reinterpret_cast<const xcb_button_press_event_t&>(e);
      if (dragging_) return;
      // A message box of the program is modal: the pet waits for its answer.
      if (env_.ticks.held()) return;
      int button = 0;
      if (b.detail == 1) button = static_cast<int>(MouseButton::Left);
      if (b.detail == 3) button = static_cast<int>(MouseButton::Right);
      if (b.detail == 2) button = static_cast<int>(MouseButton::Middle);
      if (button == 0) return;
      // The topmost visible picture under the press; the shape has already
      // kept presses on key-coloured pixels away.
      for (std::size_t i = controls_.size(); i-- > 0;) {
        const Control& c = controls_[i];
        if (c.kind != ControlKind::Picture || !c.visible) continue;
        if (b.event_x < c.place.x || b.event_y < c.place.y || b.event_x >= c.place.x + c.place.width ||
            b.event_y >= c.place.y + c.place.height)
          continue;
        pressPoint_ = std::make_pair(static_cast<int>(b.event_x), static_cast<int>(b.event_y));
        Commits::Batch batch(env_.commits);
        events_->mouseDown(static_cast<int>(i), button);
        return;
      }
      return;
    }
    case XCB_MOTION_NOTIFY: {
      if (!dragging_) return;
      const auto& m = reinterpret_cast<const xcb_motion_notify_event_t&>(e);
      if ((m.state & XCB_BUTTON_MASK_1) == 0) {
        endDrag();
        return;
      }
      const double s = env_.scale;
      move(toLogical(m.root_x - grabOffset_.first, s), toLogical(m.root_y - grabOffset_.second, s));
      return;
    }
    case XCB_BUTTON_RELEASE: {
      const auto& b = reinterpret_cast<const xcb_button_release_event_t&>(e);
      if (dragging_ && b.detail == 1) endDrag();
      return;
    }
    default: return;
  }
}

std::optional<bool> PetWindow::leftButtonDown(int* rootX, int* rootY) {
  xcb_query_pointer_reply_t* r = xcb_query_pointer_reply(c_, xcb_query_pointer(c_, id_), nullptr);
  if (r == nullptr) return std::nullopt;
  const bool down = (r->mask & XCB_BUTTON_MASK_1) != 0;
  if (rootX != nullptr) *rootX = r->root_x;
  if (rootY != nullptr) *rootY = r->root_y;
  std::free(r);
  return down;
}

bool PetWindow::grab() {
  const xcb_cursor_t cursor = env_.pointer ? env_.pointer(Pointer::GrabHand) : XCB_NONE;
  auto cookie = xcb_grab_pointer(c_, 0, id_,
                                 XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION, XCB_GRAB_MODE_ASYNC,
                                 XCB_GRAB_MODE_ASYNC, XCB_NONE, cursor, XCB_CURRENT_TIME);
  xcb_grab_pointer_reply_t* r = xcb_grab_pointer_reply(c_, cookie, nullptr);
  grabbed_ = r != nullptr && r->status == XCB_GRAB_STATUS_SUCCESS;
  std::free(r);
  return grabbed_;
}

void PetWindow::ungrab() {
  if (!grabbed_) return;
  xcb_ungrab_pointer(c_, XCB_CURRENT_TIME);
  xcb_flush(c_);
  grabbed_ = false;
}

void PetWindow::endDrag() {
  dragging_ = false;
  ungrab();
}

void PetWindow::releaseCapture() {
  // The press's own (implicit) grab ends here; a drag takes its own.
  if (!dragging_) xcb_ungrab_pointer(c_, XCB_CURRENT_TIME);
  xcb_flush(c_);
}

void PetWindow::dragMove() {
  if (dragging_ || !mapped_) return;
  Commits::Nested nested(env_.commits);
  int rootX = 0, rootY = 0;
  const std::optional<bool> down = leftButtonDown(&rootX, &rootY);
  if (!down || !*down) return;
  grabOffset_ = pressPoint_.value_or(std::make_pair(rootX - sent_.x, rootY - sent_.y));
  if (!grab()) return;
  dragging_ = true;
  // The motion before the grab reached no one: on a busy machine the press
  // is taken late and the pointer may be far on, so the fish catches up.
  if (leftButtonDown(&rootX, &rootY).value_or(false))
    move(toLogical(rootX - grabOffset_.first, env_.scale), toLogical(rootY - grabOffset_.second, env_.scale));
  EventLoop& loop = env_.loop;
  std::weak_ptr<bool> weak = alive_;
  // Should the release never reach us, the button's state still ends the drag.
  const int watchdog = env_.loop.addTimer(100, [this, weak] {
    if (!weak.lock() || !dragging_ || !grabbed_) return;
    const std::optional<bool> held = leftButtonDown();
    if (!held || !*held) endDrag();
  });
  loop.setTimerEnabled(watchdog, true);
  while (!weak.expired() && dragging_) loop.iterate();
  loop.removeTimer(watchdog);
  if (!weak.expired()) endDrag();
}

void PetWindow::suspendDrag() {
  if (dragging_) ungrab();
}

void PetWindow::resumeDrag() {
  if (!dragging_) return;
  const std::optional<bool> held = leftButtonDown();
  // The button went up while the box was open: the drag is over where it was.
  if (!held || !*held || !grab()) endDrag();
}

}  // namespace guizzolo::x11
