#include "platform/qt/window_state_x11.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <string>

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
  xcb_atom_t typeUtility = XCB_NONE;
  xcb_atom_t typeDialog = XCB_NONE;
  xcb_atom_t typeToolbar = XCB_NONE;
  xcb_atom_t supportingWm = XCB_NONE;
  xcb_atom_t wmName = XCB_NONE;
  xcb_atom_t utf8 = XCB_NONE;
  xcb_window_t root = XCB_NONE;
};

// Looked up once per run: one round trip for all the names together.
const Atoms& atoms(xcb_connection_t* c) {
  static const Atoms known = [c] {
    constexpr int kCount = 11;
    const char* names[kCount] = {"_NET_WM_STATE",         "_NET_WM_STATE_SKIP_TASKBAR",  "_NET_WM_STATE_SKIP_PAGER",
                                 "_MOTIF_WM_HINTS",       "_NET_WM_WINDOW_TYPE",         "_NET_WM_WINDOW_TYPE_UTILITY",
                                 "_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_WINDOW_TYPE_TOOLBAR", "_NET_SUPPORTING_WM_CHECK",
                                 "_NET_WM_NAME",          "UTF8_STRING"};
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
    return Atoms{found[0], found[1], found[2], found[3], found[4],  found[5],
                 found[6], found[7], found[8], found[9], found[10], rootWindow(c)};
  }();
  return known;
}

// One window property's bytes, or nothing.
std::string property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
  std::string value;
  if (name == XCB_NONE) return value;
  xcb_get_property_reply_t* reply =
      xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, 256), nullptr);
  if (reply == nullptr) return value;
  value.assign(static_cast<const char*>(xcb_get_property_value(reply)),
               static_cast<std::size_t>(xcb_get_property_value_length(reply)));
  std::free(reply);
  return value;
}

// Openbox gives every utility window a minimise button, whatever the Motif
// hints ask, but none to a toolbar one, which it still lets the user close.
// Read once, when the panel is first shown: the window manager named on the
// root then is the one that frames it.
bool openbox(xcb_connection_t* c, const Atoms& a) {
  static const bool is = [&] {
    const std::string check = property(c, a.root, a.supportingWm, XCB_ATOM_WINDOW);
    if (check.size() != sizeof(xcb_window_t)) return false;
    xcb_window_t wm = XCB_NONE;
    std::memcpy(&wm, check.data(), sizeof wm);
    return property(c, wm, a.wmName, a.utf8) == "Openbox";
  }();
  return is;
}

// The native window of a widget, only if it exists already.
xcb_window_t nativeWindow(const QWidget* window) {
  if (window == nullptr || !window->testAttribute(Qt::WA_WState_Created)) return XCB_NONE;
  return static_cast<xcb_window_t>(window->internalWinId());
}

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
  // A utility window alone elsewhere: mutter and KWin give a toolbar-typed
  // window no close action, and the close box is how the user sends the
  // fish swimming.
  const xcb_atom_t type = openbox(c, a) && a.typeToolbar != XCB_NONE ? a.typeToolbar : a.typeUtility;
  if (a.windowType != XCB_NONE && type != XCB_NONE)
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, a.windowType, XCB_ATOM_ATOM, 32, 1, &type);
}

void dialogType(QWidget* window) {
  xcb_connection_t* c = connection();
  const xcb_window_t id = nativeWindow(window);
  if (c == nullptr || id == XCB_NONE) return;
  const Atoms& a = atoms(c);
  if (a.windowType != XCB_NONE && a.typeDialog != XCB_NONE)
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, a.windowType, XCB_ATOM_ATOM, 32, 1, &a.typeDialog);
}

void flush() {
  if (xcb_connection_t* c = connection()) xcb_flush(c);
}

}  // namespace guizzolo::qt::x11
