#include "platform/qt/window_state_x11.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace guizzolo::qt::x11 {
namespace {

xcb_connection_t* connection() {
  if (qGuiApp == nullptr) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->connection() : nullptr;
}

// The root window of the screen the program runs on, from DISPLAY, with no
// request to the server.
xcb_window_t rootWindow(xcb_connection_t* c) {
  int screen = 0;
  char* host = nullptr;
  int display = 0;
  if (xcb_parse_display(nullptr, &host, &display, &screen) == 0) screen = 0;
  std::free(host);
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screen && it.rem > 1; ++i) xcb_screen_next(&it);
  return it.data != nullptr ? it.data->root : XCB_NONE;
}

struct Atoms {
  xcb_atom_t state = XCB_NONE;
  xcb_atom_t skipTaskbar = XCB_NONE;
  xcb_atom_t skipPager = XCB_NONE;
  xcb_atom_t motifHints = XCB_NONE;
  xcb_atom_t windowType = XCB_NONE;
  xcb_atom_t typeToolbar = XCB_NONE;
  xcb_atom_t typeUtility = XCB_NONE;
  xcb_atom_t typeDialog = XCB_NONE;
  xcb_window_t root = XCB_NONE;
};

// Looked up once per run: one round trip for all the names together.
const Atoms& atoms(xcb_connection_t* c) {
  static const Atoms known = [c] {
    constexpr int kCount = 8;
    const char* names[kCount] = {"_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER",
                                 "_MOTIF_WM_HINTS", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_TOOLBAR",
                                 "_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_WINDOW_TYPE_DIALOG"};
    xcb_intern_atom_cookie_t cookies[kCount];
    for (int i = 0; i < kCount; ++i)
      cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
    xcb_atom_t found[kCount] = {};
    for (int i = 0; i < kCount; ++i) {
      if (xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookies[i], nullptr)) {
        found[i] = reply->atom;
        std::free(reply);
      }
    }
    return Atoms{found[0], found[1], found[2], found[3], found[4], found[5], found[6], found[7], rootWindow(c)};
  }();
  return known;
}

// The native window of a widget, only if it exists already.
xcb_window_t nativeWindow(const QWidget* window) {
  if (window == nullptr || !window->testAttribute(Qt::WA_WState_Created)) return XCB_NONE;
  return static_cast<xcb_window_t>(window->internalWinId());
}

// Watches the top-level windows of the screen (SubstructureNotify on the
// root) and marks each tracked window stale when some other one is mapped or
// restacked. The events it asked for itself are kept from Qt, which would
// otherwise take a root ConfigureNotify for a change of screens.
class StackingWatch final : public QAbstractNativeEventFilter {
 public:
  static StackingWatch* get(xcb_connection_t* c) {
    static StackingWatch* watch = [c]() -> StackingWatch* {
      const xcb_window_t root = atoms(c).root;
      if (root == XCB_NONE) return nullptr;
      // Added to what Qt already selects on the root, not in place of it.
      xcb_get_window_attributes_reply_t* now =
          xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, root), nullptr);
      if (now == nullptr) return nullptr;
      const std::uint32_t mask = now->your_event_mask | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
      const bool hadIt = (now->your_event_mask & XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY) != 0;
      std::free(now);
      auto* created = new StackingWatch(root, !hadIt);
      qGuiApp->installNativeEventFilter(created);
      xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
      xcb_flush(c);
      return created;
    }();
    return watch;
  }

  void add(RaiseTracker* t) { trackers_.push_back(t); }
  void remove(RaiseTracker* t) { trackers_.erase(std::remove(trackers_.begin(), trackers_.end(), t), trackers_.end()); }

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    xcb_window_t parent = XCB_NONE;
    xcb_window_t child = XCB_NONE;
    bool stacking = false;
    switch (event->response_type & 0x7f) {
      case XCB_CONFIGURE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        parent = e->event;
        child = e->window;
        stacking = true;
        break;
      }
      case XCB_MAP_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_map_notify_event_t*>(event);
        parent = e->event;
        child = e->window;
        stacking = true;
        break;
      }
      case XCB_CIRCULATE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_circulate_notify_event_t*>(event);
        parent = e->event;
        child = e->window;
        stacking = true;
        break;
      }
      case XCB_REPARENT_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_reparent_notify_event_t*>(event);
        for (RaiseTracker* t : trackers_) {
          if (t->clientId() == e->window) {
            t->frame_ = e->parent == root_ ? e->window : e->parent;
            t->stale_ = true;
          }
        }
        parent = e->event;
        child = e->window;
        break;
      }
      case XCB_UNMAP_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_unmap_notify_event_t*>(event);
        parent = e->event;
        child = e->window;
        break;
      }
      case XCB_DESTROY_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        parent = e->event;
        child = e->window;
        break;
      }
      case XCB_GRAVITY_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_gravity_notify_event_t*>(event);
        parent = e->event;
        child = e->window;
        break;
      }
      default: return false;
    }
    if (parent != root_ || child == root_) return false;
    if (stacking) {
      for (RaiseTracker* t : trackers_) {
        if (child != t->frame_ && child != t->clientId()) t->stale_ = true;
      }
    }
    // Only root events we selected ourselves are kept from Qt.
    return ownMask_;
  }

 private:
  StackingWatch(xcb_window_t root, bool ownMask) : root_(root), ownMask_(ownMask) {}

  xcb_window_t root_;
  bool ownMask_;
  std::vector<RaiseTracker*> trackers_;
};

}  // namespace

void skipTaskbarAndPager(QWidget* window) {
  xcb_connection_t* c = connection();
  if (c == nullptr || window == nullptr || window->windowHandle() == nullptr) return;
  const Atoms& a = atoms(c);
  if (a.state == XCB_NONE || a.root == XCB_NONE) return;
  xcb_client_message_event_t message;
  std::memset(&message, 0, sizeof message);
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = static_cast<xcb_window_t>(window->winId());
  message.type = a.state;
  message.data.data32[0] = 1;  // _NET_WM_STATE_ADD
  message.data.data32[1] = a.skipTaskbar;
  message.data.data32[2] = a.skipPager;
  message.data.data32[3] = 1;  // from an application
  xcb_send_event(c, 0, a.root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(c);
}

void closeBoxOnly(QWidget* window) {
  xcb_connection_t* c = connection();
  const xcb_window_t id = nativeWindow(window);
  if (c == nullptr || id == XCB_NONE) return;
  const Atoms& a = atoms(c);
  if (a.motifHints == XCB_NONE) return;
  constexpr std::uint32_t kFunctions = 1u << 0, kDecorations = 1u << 1;
  constexpr std::uint32_t kFuncMove = 1u << 2, kFuncClose = 1u << 5;
  constexpr std::uint32_t kDecorBorder = 1u << 1, kDecorTitle = 1u << 3, kDecorMenu = 1u << 4;
  const std::uint32_t hints[5] = {kFunctions | kDecorations, kFuncMove | kFuncClose,
                                  kDecorBorder | kDecorTitle | kDecorMenu, 0, 0};
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, a.motifHints, a.motifHints, 32, 5, hints);
  // A utility window alone: mutter and KWin give a TOOLBAR-typed window no
  // close action, and the close box is how the user sends the fish swimming.
  if (a.windowType != XCB_NONE && a.typeUtility != XCB_NONE)
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, a.windowType, XCB_ATOM_ATOM, 32, 1, &a.typeUtility);
}

void dialogType(QWidget* window) {
  xcb_connection_t* c = connection();
  const xcb_window_t id = nativeWindow(window);
  if (c == nullptr || id == XCB_NONE) return;
  const Atoms& a = atoms(c);
  if (a.windowType != XCB_NONE && a.typeDialog != XCB_NONE)
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, a.windowType, XCB_ATOM_ATOM, 32, 1, &a.typeDialog);
}

RaiseTracker::RaiseTracker(QWidget* window) : window_(window) {
  if (xcb_connection_t* c = connection()) {
    if (StackingWatch* watch = StackingWatch::get(c)) {
      watch->add(this);
      watched_ = true;
    }
  }
}

RaiseTracker::~RaiseTracker() {
  if (!watched_) return;
  if (xcb_connection_t* c = connection()) {
    if (StackingWatch* watch = StackingWatch::get(c)) watch->remove(this);
  }
}

unsigned long RaiseTracker::clientId() const { return nativeWindow(window_); }

bool RaiseTracker::needed() const { return !watched_ || stale_ || clientId() == XCB_NONE; }

void RaiseTracker::raised() {
  stale_ = false;
  if (frame_ == 0) frame_ = clientId();
}

void flush() {
  if (xcb_connection_t* c = connection()) xcb_flush(c);
}

std::optional<bool> leftButtonDown() {
  xcb_connection_t* c = connection();
  if (c == nullptr) return std::nullopt;
  const Atoms& a = atoms(c);
  xcb_query_pointer_reply_t* reply = xcb_query_pointer_reply(c, xcb_query_pointer(c, a.root), nullptr);
  if (reply == nullptr) return std::nullopt;
  const bool down = (reply->mask & XCB_BUTTON_MASK_1) != 0;
  std::free(reply);
  return down;
}

}  // namespace guizzolo::qt::x11
