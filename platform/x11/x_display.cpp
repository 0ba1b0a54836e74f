#include "platform/x11/x_display.h"

#include <xcb/shape.h>
#include <xcb/render.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/x11/scale.h"

namespace guizzolo::x11 {
namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> reply(T* r) {
  return Reply<T>(r, &std::free);
}

bool hasExtension(xcb_connection_t* c, const char* name) {
  auto r = reply(xcb_query_extension_reply(
      c, xcb_query_extension(c, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
  return r && r->present;
}

}  // namespace

std::unique_ptr<XDisplay> XDisplay::open(std::string& error) {
  const char* name = std::getenv("DISPLAY");
  error = name == nullptr || *name == '\0' ? std::string("DISPLAY is not set") : std::string("DISPLAY=") + name;
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
  if (c == nullptr || xcb_connection_has_error(c) != 0) {
    if (c != nullptr) xcb_disconnect(c);
    return nullptr;
  }
  std::unique_ptr<XDisplay> d(new XDisplay);
  d->c_ = c;
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber && it.rem > 1; ++i) xcb_screen_next(&it);
  d->screen_ = it.data;

  const std::string cm = "_NET_WM_CM_S" + std::to_string(screenNumber);
  const char* names[] = {"_NET_WM_STATE", "_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR",
                         "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_UTILITY",
                         "_NET_WM_PID", "_NET_WM_NAME", "UTF8_STRING",
                         "_MOTIF_WM_HINTS", "_NET_CLIENT_LIST_STACKING", "_NET_ACTIVE_WINDOW",
                         "RESOURCE_MANAGER", "WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_SUPPORTING_WM_CHECK", "_WIN_LAYER", cm.c_str()};
  constexpr std::size_t kCount = sizeof names / sizeof names[0];
  static_assert(kCount * sizeof(xcb_atom_t) == sizeof(Atoms));
  // All the questions go out together: one wait for all the answers.
  xcb_intern_atom_cookie_t cookies[kCount];
  for (std::size_t i = 0; i < kCount; ++i)
    cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
  xcb_prefetch_extension_data(c, &xcb_shape_id);
  xcb_prefetch_extension_data(c, &xcb_render_id);
  xcb_atom_t found[kCount] = {};
  for (std::size_t i = 0; i < kCount; ++i) {
    if (auto r = reply(xcb_intern_atom_reply(c, cookies[i], nullptr))) found[i] = r->atom;
  }
  std::memcpy(&d->atoms_, found, sizeof found);

  const auto resources = xcb_get_property(c, 0, d->root(), XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 1 << 16);
  const auto owner = xcb_get_selection_owner(c, d->atoms_.netWmCmS);
  const auto check = xcb_get_property(c, 0, d->root(), d->atoms_.netSupportingWmCheck, XCB_ATOM_WINDOW, 0, 1);
  if (auto r = reply(xcb_get_property_reply(c, resources, nullptr))) {
    const auto* text = static_cast<const char*>(xcb_get_property_value(r.get()));
    d->dpi_ = xftDpi(std::string(text, static_cast<std::size_t>(xcb_get_property_value_length(r.get()))));
  }
  if (auto r = reply(xcb_get_selection_owner_reply(c, owner, nullptr))) d->compositing_ = r->owner != XCB_NONE;
  if (auto r = reply(xcb_get_property_reply(c, check, nullptr))) {
    if (r->type == XCB_ATOM_WINDOW && r->format == 32 && xcb_get_property_value_length(r.get()) >= 4) {
      const xcb_window_t wm = *static_cast<const xcb_window_t*>(xcb_get_property_value(r.get()));
      if (auto n = reply(xcb_get_property_reply(
              c, xcb_get_property(c, 0, wm, d->atoms_.netWmName, d->atoms_.utf8String, 0, 64), nullptr))) {
        const auto* text = static_cast<const char*>(xcb_get_property_value(n.get()));
        d->westonWm_ = std::string(text, static_cast<std::size_t>(xcb_get_property_value_length(n.get()))) ==
                       "Weston WM";
      }
    }
  }
  // XWayland always composites, owner or not.
  if (!d->compositing_ && hasExtension(c, "XWAYLAND")) d->compositing_ = true;

  const xcb_query_extension_reply_t* shape = xcb_get_extension_data(c, &xcb_shape_id);
  d->hasShape_ = shape != nullptr && shape->present;
  const xcb_query_extension_reply_t* render = xcb_get_extension_data(c, &xcb_render_id);
  d->hasRender_ = render != nullptr && render->present;

  for (auto depths = xcb_screen_allowed_depths_iterator(d->screen_); depths.rem > 0; xcb_depth_next(&depths)) {
    if (depths.data->depth != 32) continue;
    for (auto v = xcb_depth_visuals_iterator(depths.data); v.rem > 0; xcb_visualtype_next(&v)) {
      if (v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == 0xFF0000 &&
          v.data->green_mask == 0xFF00 && v.data->blue_mask == 0xFF) {
        d->argbVisual_ = v.data->visual_id;
        break;
      }
    }
    if (d->argbVisual_) break;
  }

  // Only the stacking list is watched on the root, to know when some other
  // window has come above the pet: far fewer events than every move of
  // every window. weston keeps no such list: there the maps and restackings
  // of the top-level windows themselves tell.
  std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  if (d->westonWm_) mask |= XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(c, d->root(), XCB_CW_EVENT_MASK, &mask);
  return d;
}

XDisplay::~XDisplay() {
  if (c_ != nullptr) xcb_disconnect(c_);
}

void XDisplay::route(xcb_window_t window, std::function<void(const xcb_generic_event_t&)> handler) {
  routes_[window] = std::move(handler);
}

void XDisplay::unroute(xcb_window_t window) { routes_.erase(window); }

void XDisplay::checkBroken() {
  // The X server is gone: nothing can be shown any more.
  if (xcb_connection_has_error(c_) == 0 || losing_) return;
  if (lost_) {
    // The handler ends the program; the break seen again on its way (its
    // steps may read the connection) must not cut it short.
    losing_ = true;
    lost_();
  }
  std::_Exit(1);
}

namespace {

xcb_window_t eventWindow(const xcb_generic_event_t& e) {
  switch (e.response_type & 0x7f) {
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
    case XCB_MOTION_NOTIFY: return reinterpret_cast<const xcb_button_press_event_t&>(e).event;
    case XCB_PROPERTY_NOTIFY: return reinterpret_cast<const xcb_property_notify_event_t&>(e).window;
    case XCB_CONFIGURE_NOTIFY: return reinterpret_cast<const xcb_configure_notify_event_t&>(e).event;
    case XCB_MAP_NOTIFY: return reinterpret_cast<const xcb_map_notify_event_t&>(e).event;
    case XCB_CLIENT_MESSAGE: return reinterpret_cast<const xcb_client_message_event_t&>(e).window;
    default: return XCB_NONE;
  }
}

}  // namespace

void XDisplay::drain(bool readSocket) {
  for (;;) {
    xcb_generic_event_t* e = readSocket ? xcb_poll_for_event(c_) : xcb_poll_for_queued_event(c_);
    if (e == nullptr) break;
    std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> owned(e, &std::free);
    // Errors of requests sent without a check (a window already gone) are
    // of no consequence.
    if (e->response_type == 0) continue;
    auto it = routes_.find(eventWindow(*e));
    if (it != routes_.end()) {
      const auto handler = it->second;  // the handler may unroute itself
      handler(*e);
    }
  }
  checkBroken();
}

void XDisplay::attach(EventLoop& loop) {
  loop.watch(xcb_get_file_descriptor(c_), [this] { drain(true); });
  loop.setAfterDispatch([this] {
    drain(false);
    xcb_flush(c_);
  });
}

std::optional<std::vector<xcb_window_t>> XDisplay::stackingList() {
  if (westonWm_) {
    auto t = reply(xcb_query_tree_reply(c_, xcb_query_tree(c_, root()), nullptr));
    if (!t) return std::nullopt;
    const xcb_window_t* ids = xcb_query_tree_children(t.get());
    return std::vector<xcb_window_t>(ids, ids + xcb_query_tree_children_length(t.get()));
  }
  auto r = reply(xcb_get_property_reply(
      c_, xcb_get_property(c_, 0, root(), atoms_.clientListStacking, XCB_ATOM_WINDOW, 0, 4096), nullptr));
  if (!r || r->type != XCB_ATOM_WINDOW || r->format != 32) return std::nullopt;
  const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(r.get()));
  const auto n = static_cast<std::size_t>(xcb_get_property_value_length(r.get())) / sizeof(xcb_window_t);
  return std::vector<xcb_window_t>(ids, ids + n);
}

}  // namespace guizzolo::x11
