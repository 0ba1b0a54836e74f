#include "platform/qt/window_state_x11.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>

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
  xcb_window_t root = XCB_NONE;
};

// Looked up once per run: one round trip for the three names together.
const Atoms& atoms(xcb_connection_t* c) {
  static const Atoms known = [c] {
    const char* names[] = {"_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"};
    xcb_intern_atom_cookie_t cookies[3];
    for (int i = 0; i < 3; ++i)
      cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
    xcb_atom_t found[3] = {XCB_NONE, XCB_NONE, XCB_NONE};
    for (int i = 0; i < 3; ++i) {
      if (xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookies[i], nullptr)) {
        found[i] = reply->atom;
        std::free(reply);
      }
    }
    return Atoms{found[0], found[1], found[2], rootWindow(c)};
  }();
  return known;
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
