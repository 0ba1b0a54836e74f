// The pet window on a real X server (the virtual desktop of the test
// command): its shape is the fish's pixels, a band change keeps the window,
// a tick's moves reach the server as one configure, ticks stop with the
// window and wait while a message box does. Skipped without a display.
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/shape.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>

#include "app/form1.h"
#include "platform/image/gif_decoder.h"
#include "platform/x11/embedded.h"
#include "platform/x11/pet_pixels.h"
#include "platform/x11/pet_window.h"
#include "platform/x11/x11_platform.h"

namespace guizzolo::x11::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kShow = win::kSwpShowWindow | win::kSwpNoActivate;

struct Recording : WindowEvents {
  std::vector<int> ticks;
  std::function<void(int)> onTick;
  void timer(int id) override {
    ticks.push_back(id);
    if (onTick) onTick(id);
  }
};

// The pixels the fish shows, from its picture alone: scaled to the control's
// 88 x 52 (one column past the window's 87) and cut with the key colour.
std::set<std::pair<int, int>> fishPixels(const embedded::Bytes& gif) {
  const image::Image scaled = image::scaledNearest(image::decodeGif(gif.data, gif.size), 88, 52);
  const PetPixels p = composePet(87, 53, Form1::kKeyColour, true, Form1::kKeyColour, {{&scaled, 0, 0}});
  std::set<std::pair<int, int>> out;
  for (const ShapeRect& r : p.shape)
    for (int y = r.y; y < r.y + r.height; ++y)
      for (int x = r.x; x < r.x + r.width; ++x) out.insert({x, y});
  return out;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name);

class OnDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    std::string tried;
    display_ = XDisplay::open(tried);
    ASSERT_TRUE(display_) << tried;
    platform_ = std::make_unique<X11Platform>(*display_, std::nullopt);
    // A second connection watches the pet as the window manager would.
    watcher_ = xcb_connect(nullptr, nullptr);
  }
  void TearDown() override {
    platform_.reset();
    display_.reset();
    if (watcher_ != nullptr) xcb_disconnect(watcher_);
  }
  void runFor(int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) platform_->loop().iterate();
  }
  std::unique_ptr<Window> keyedPet(Recording& events) {
    auto pet = platform_->createWindow(Form1Layout(), events);
    pet->setBackColour(Form1::kKeyColour);
    pet->setWindowLong(win::kGwlExStyle, win::kWsExLayered);
    pet->setLayeredWindowAttributes(Form1::kKeyColour, 0, win::kLwaColorKey);
    return pet;
  }
  // What the pet sent is handled before the watcher's next question.
  void sync() { std::free(xcb_get_input_focus_reply(display_->c(), xcb_get_input_focus(display_->c()), nullptr)); }
  std::set<std::pair<int, int>> serverShape(xcb_window_t w) {
    // What the pet sent is handled before the watcher's question: a round
    // trip on the pet's own connection first.
    std::free(xcb_get_input_focus_reply(display_->c(), xcb_get_input_focus(display_->c()), nullptr));
    std::set<std::pair<int, int>> out;
    auto* r = xcb_shape_get_rectangles_reply(watcher_, xcb_shape_get_rectangles(watcher_, w, XCB_SHAPE_SK_BOUNDING),
                                            nullptr);
    if (r == nullptr) return out;
    const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(r);
    for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(r); ++i)
      for (int y = rects[i].y; y < rects[i].y + rects[i].height; ++y)
        for (int x = rects[i].x; x < rects[i].x + rects[i].width; ++x) out.insert({x, y});
    std::free(r);
    return out;
  }

  // Waits until the window manager has taken the window in (its WM_STATE is
  // set), when there is one. Without this wait, a busy openbox was left
  // holding a client for a window id that no longer was, and took every
  // later window with that id (the next test's pet) for it: about one run in
  // twenty of the test below, beside a CPU hog.
  void waitManaged(xcb_window_t w) {
    if (!hasProperty(display_->root(), "_NET_SUPPORTING_WM_CHECK")) return;
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (!hasProperty(w, "WM_STATE") && Clock::now() < end) runFor(10);
    ASSERT_TRUE(hasProperty(w, "WM_STATE")) << "the window manager never took the window in";
  }
  bool hasProperty(xcb_window_t w, const char* name) {
    auto* r = xcb_get_property_reply(watcher_, xcb_get_property(watcher_, 0, w, atom(watcher_, name), XCB_ATOM_ANY, 0, 1),
                                     nullptr);
    const bool found = r != nullptr && r->type != XCB_NONE;
    std::free(r);
    return found;
  }

  std::unique_ptr<XDisplay> display_;
  std::unique_ptr<X11Platform> platform_;
  xcb_connection_t* watcher_ = nullptr;
};

TEST_F(OnDisplay, ShapeIsTheVisiblePicturesAndOneRequestEach) {
  Recording events;
  auto pet = keyedPet(events);
  auto* w = static_cast<PetWindow*>(pet.get());
  pet->setControlVisible(Form1::Image1, true);
  pet->setWindowPos(win::kHwndTopMost, 100, 120, 87, 53, kShow);
  const auto left = serverShape(w->id());
  EXPECT_GT(left.size(), 1500u);
  for (auto [x, y] : left) {
    EXPECT_LT(x, 87);
    EXPECT_LT(y, 52) << "the last row is background";
  }
  pet->setControlVisible(Form1::Image1, false);
  pet->setControlVisible(Form1::Image2, true);
  const auto right = serverShape(w->id());
  EXPECT_NE(left, right) << "the shape follows the picture";
  if (platform_->scale() == 1.0) {
    // Pixel for pixel, with the pictures placed and scaled from the layout's twips.
    EXPECT_EQ(left, fishPixels(embedded::kFishLeftGif));
    EXPECT_EQ(right, fishPixels(embedded::kFishRightGif));
  }
  pet->setControlVisible(Form1::Image2, false);
  EXPECT_TRUE(serverShape(w->id()).empty()) << "nothing visible: nothing shown, nothing pressed";
}

TEST_F(OnDisplay, ShapedOnlyWhileLayeredAndKeyed) {
  Recording events;
  auto pet = platform_->createWindow(Form1Layout(), events);
  auto* w = static_cast<PetWindow*>(pet.get());
  pet->setControlVisible(Form1::Image1, true);
  pet->setBackColour(Form1::kKeyColour);
  pet->setLayeredWindowAttributes(Form1::kKeyColour, 0, win::kLwaColorKey);
  pet->setWindowPos(win::kHwndTopMost, 100, 120, 87, 53, kShow);
  const std::size_t whole = 87u * 53u;
  EXPECT_EQ(serverShape(w->id()).size(), whole) << "keyed without the layered style";
  pet->setWindowLong(win::kGwlExStyle, win::kWsExLayered);
  EXPECT_LT(serverShape(w->id()).size(), whole);
  pet->setWindowLong(win::kGwlExStyle, 0);
  EXPECT_EQ(serverShape(w->id()).size(), whole);
}

TEST_F(OnDisplay, BandChangesKeepTheWindowAndItsStates) {
  Recording events;
  auto pet = keyedPet(events);
  auto* w = static_cast<PetWindow*>(pet.get());
  pet->setWindowPos(win::kHwndTopMost, 100, 120, 87, 53, kShow);
  const xcb_window_t id = w->id();
  runFor(100);
  // Watch for the window leaving the screen on the way: that would flicker.
  const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_change_window_attributes(watcher_, id, XCB_CW_EVENT_MASK, &mask);
  std::free(xcb_get_input_focus_reply(watcher_, xcb_get_input_focus(watcher_), nullptr));
  for (std::intptr_t band : {win::kHwndNoTopMost, win::kHwndTopMost, win::kHwndTopMost, win::kHwndNoTopMost}) {
    pet->setWindowPos(band, 100, 120, 87, 53, kShow);
    runFor(30);
    EXPECT_EQ(w->id(), id);
  }
  std::free(xcb_get_input_focus_reply(display_->c(), xcb_get_input_focus(display_->c()), nullptr));
  std::free(xcb_get_input_focus_reply(watcher_, xcb_get_input_focus(watcher_), nullptr));
  int unmaps = 0;
  while (xcb_generic_event_t* e = xcb_poll_for_event(watcher_)) {
    const int type = e->response_type & 0x7f;
    if (type == XCB_UNMAP_NOTIFY || type == XCB_DESTROY_NOTIFY) ++unmaps;
    std::free(e);
  }
  EXPECT_EQ(unmaps, 0) << "the window left the screen on a band change";
  auto* attributes = xcb_get_window_attributes_reply(watcher_, xcb_get_window_attributes(watcher_, id), nullptr);
  ASSERT_NE(attributes, nullptr);
  EXPECT_EQ(attributes->map_state, XCB_MAP_STATE_VIEWABLE);
  std::free(attributes);
  // Negative places are not clamped; the program reads back what it set.
  pet->setWindowPos(win::kHwndTopMost, -30, 700, 87, 53, kShow);
  EXPECT_EQ(pet->rect().x, -30);
  EXPECT_EQ(pet->rect().y, 700);
  auto* geo = xcb_get_geometry_reply(watcher_, xcb_get_geometry(watcher_, id), nullptr);
  ASSERT_NE(geo, nullptr);
  EXPECT_EQ(geo->width, 87);
  EXPECT_EQ(geo->height, 53);
  std::free(geo);
  pet->move(40, 50);
  EXPECT_EQ(pet->rect().x, 40);
  EXPECT_EQ(pet->rect().y, 50);
}

TEST_F(OnDisplay, MovesOfOneTickReachTheServerAsOneConfigure) {
  Recording events;
  WindowLayout layout = Form1Layout();
  layout.timers = {{20, true}};
  auto pet = platform_->createWindow(layout, events);
  auto* w = static_cast<PetWindow*>(pet.get());
  pet->setWindowPos(win::kHwndTopMost, 100, 100, 87, 53, kShow);
  runFor(100);
  // Watch the window's configures from the other connection.
  const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_change_window_attributes(watcher_, w->id(), XCB_CW_EVENT_MASK, &mask);
  auto* sync = xcb_get_input_focus_reply(watcher_, xcb_get_input_focus(watcher_), nullptr);
  std::free(sync);
  int ticks = 0;
  events.onTick = [&](int) {
    ++ticks;
    // x, then y, each read back in between, and the band re-applied: as a swim tick does.
    const PixelRect start = pet->rect();
    pet->setWindowPos(win::kHwndTopMost, start.x, start.y, 87, 53, kShow);
    pet->move(start.x + 3, start.y);
    pet->move(pet->rect().x, pet->rect().y + 2);
    EXPECT_EQ(pet->rect().x, start.x + 3);
  };
  runFor(230);
  events.onTick = nullptr;
  ASSERT_GE(ticks, 5);
  sync = xcb_get_input_focus_reply(watcher_, xcb_get_input_focus(watcher_), nullptr);
  std::free(sync);
  int configures = 0;
  std::set<std::pair<int, int>> places;
  while (xcb_generic_event_t* e = xcb_poll_for_event(watcher_)) {
    if ((e->response_type & 0x7f) == XCB_CONFIGURE_NOTIFY) {
      const auto* c = reinterpret_cast<xcb_configure_notify_event_t*>(e);
      if (c->window == w->id()) {
        ++configures;
        places.insert({c->x, c->y});
      }
    }
    std::free(e);
  }
  // One per tick (a window manager may add its own synthetic ones, not more).
  EXPECT_GE(configures, ticks - 1);
  EXPECT_LE(configures, 2 * ticks);
  // One place per tick, none halfway (the window manager may not have
  // told of the last one yet).
  EXPECT_LE(places.size(), static_cast<std::size_t>(ticks));
  EXPECT_GE(places.size() + 1, static_cast<std::size_t>(ticks));
}

TEST_F(OnDisplay, TicksStopWithTheWindowAndDragNeedsAButton) {
  Recording events;
  WindowLayout layout = Form1Layout();
  layout.timers = {{10, true}};
  auto pet = platform_->createWindow(layout, events);
  pet->setWindowPos(win::kHwndTopMost, 200, 200, 87, 53, kShow);
  // No button is down: the drag returns at once, the window stays.
  const auto start = Clock::now();
  pet->dragMove();
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_EQ(pet->rect().x, 200);
  runFor(50);
  EXPECT_FALSE(events.ticks.empty());
  EXPECT_TRUE(pet->timerEnabled(1));
  EXPECT_THROW(pet->setTimerEnabled(2, true), Failure) << "a timer the layout does not have";
  pet.reset();
  events.ticks.clear();
  // Something must wake the loop: a timer of our own.
  const int clock = platform_->loop().addTimer(10, [] {});
  platform_->loop().setTimerEnabled(clock, true);
  runFor(50);
  platform_->loop().removeTimer(clock);
  EXPECT_TRUE(events.ticks.empty());
}

// Looks for a window of ours titled `title` among the descendants of `w`.
xcb_window_t findTitled(xcb_connection_t* c, xcb_window_t w, const std::string& title) {
  auto* name = xcb_get_property_reply(c, xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 64), nullptr);
  if (name != nullptr) {
    const std::string got(static_cast<const char*>(xcb_get_property_value(name)),
                          static_cast<std::size_t>(xcb_get_property_value_length(name)));
    std::free(name);
    if (got == title) return w;
  }
  auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
  if (tree == nullptr) return XCB_NONE;
  xcb_window_t found = XCB_NONE;
  const xcb_window_t* children = xcb_query_tree_children(tree);
  for (int i = 0; i < xcb_query_tree_children_length(tree) && found == XCB_NONE; ++i)
    found = findTitled(c, children[i], title);
  std::free(tree);
  return found;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t a = r != nullptr ? r->atom : XCB_NONE;
  std::free(r);
  return a;
}

bool overrideRedirect(xcb_connection_t* c, xcb_window_t w) {
  auto* r = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
  const bool result = r != nullptr && r->override_redirect != 0;
  std::free(r);
  return result;
}

xcb_window_t topmost(xcb_connection_t* c, xcb_window_t root) {
  auto* r = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
  xcb_window_t top = XCB_NONE;
  if (r != nullptr && xcb_query_tree_children_length(r) > 0)
    top = xcb_query_tree_children(r)[xcb_query_tree_children_length(r) - 1];
  std::free(r);
  return top;
}

// Only weston's window manager gets an unmanaged pet, which the program
// then keeps above every window mapped after it. The desktop is made to
// name itself weston's for the while (its check window), then put back.
TEST_F(OnDisplay, UnmanagedOnlyUnderWestonAndRaisedAboveANewWindow) {
  Recording events;
  {
    auto pet = keyedPet(events);
    pet->setWindowPos(win::kHwndTopMost, 100, 120, 87, 53, kShow);
    EXPECT_FALSE(display_->westonWm());
    EXPECT_FALSE(overrideRedirect(watcher_, static_cast<PetWindow*>(pet.get())->id()));
    // The next pet takes this one's id, on a desktop that names itself another's.
    waitManaged(static_cast<PetWindow*>(pet.get())->id());
  }
  platform_.reset();
  display_.reset();

  xcb_connection_t* c = watcher_;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  const xcb_atom_t check = atom(c, "_NET_SUPPORTING_WM_CHECK");
  auto* old = xcb_get_property_reply(c, xcb_get_property(c, 0, root, check, XCB_ATOM_WINDOW, 0, 1), nullptr);
  const xcb_window_t fake = xcb_generate_id(c);
  xcb_create_window(c, XCB_COPY_FROM_PARENT, fake, root, -10, -10, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, 0, nullptr);
  static const char kName[] = "Weston WM";
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, fake, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), 8,
                      sizeof kName - 1, kName);
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, check, XCB_ATOM_WINDOW, 32, 1, &fake);
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));

  std::string tried;
  display_ = XDisplay::open(tried);
  // The desktop's own check window back before anything can fail.
  if (old != nullptr && old->type == XCB_ATOM_WINDOW && xcb_get_property_value_length(old) == 4)
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, check, XCB_ATOM_WINDOW, 32, 1, xcb_get_property_value(old));
  else
    xcb_delete_property(c, root, check);
  std::free(old);
  xcb_destroy_window(c, fake);
  xcb_flush(c);
  ASSERT_TRUE(display_) << tried;
  EXPECT_TRUE(display_->westonWm());
  platform_ = std::make_unique<X11Platform>(*display_, std::nullopt);

  auto pet = keyedPet(events);
  auto* w = static_cast<PetWindow*>(pet.get());
  pet->setWindowPos(win::kHwndTopMost, 100, 120, 87, 53, kShow);
  EXPECT_TRUE(overrideRedirect(c, w->id()));
  runFor(100);
  sync();
  EXPECT_EQ(topmost(c, root), w->id());
  // A tick with nothing changed: the order is known to be right.
  pet->setWindowPos(win::kHwndTopMost, 105, 120, 87, 53, kShow);

  const xcb_window_t other = xcb_generate_id(c);
  // Unmanaged too, so that it lands on top as it maps, whatever the desktop.
  const std::uint32_t unmanaged = 1;
  xcb_create_window(c, XCB_COPY_FROM_PARENT, other, root, 0, 0, 300, 200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, &unmanaged);
  xcb_map_window(c, other);
  xcb_flush(c);
  const auto end = Clock::now() + std::chrono::seconds(3);
  while (topmost(c, root) == w->id() && Clock::now() < end) runFor(20);
  ASSERT_NE(topmost(c, root), w->id()) << "the new window never came above the pet";
  runFor(100);  // the map reaches the pet; its next tick raises it
  pet->setWindowPos(win::kHwndTopMost, 110, 120, 87, 53, kShow);
  sync();
  EXPECT_EQ(topmost(c, root), w->id());
  xcb_destroy_window(c, other);
  xcb_flush(c);
}

// Through the real panel module (beside this test, as beside the program).
// Last of the file: Qt starts once per process, with this platform's loop.
TEST_F(OnDisplay, TicksWaitWhileAMessageBoxIsOpenAndResumeAfterIt) {
  const std::string title = "Guizzolo-" + std::to_string(::getpid());
  // The box is closed from outside, as its close box would: by the window manager's message.
  bool closed = false;
  const int closer = platform_->loop().addTimer(300, [&] {
    const xcb_window_t box = findTitled(watcher_, display_->root(), title);
    if (box == XCB_NONE) return;
    xcb_client_message_event_t message;
    std::memset(&message, 0, sizeof message);
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = box;
    message.type = atom(watcher_, "WM_PROTOCOLS");
    message.data.data32[0] = atom(watcher_, "WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(watcher_, 0, box, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    xcb_flush(watcher_);
    closed = true;
  });
  platform_->loop().setTimerEnabled(closer, true);

  Recording events;
  WindowLayout layout = Form1Layout();
  layout.timers = {{10, true}, {10, true}};
  auto pet = platform_->createWindow(layout, events);
  std::size_t ticksBeforeBox = 0, ticksAfterBox = 0;
  bool boxed = false;
  events.onTick = [&](int) {
    if (boxed) return;
    boxed = true;
    ticksBeforeBox = events.ticks.size();
    platform_->msgBox("Il guizzolo \xc3\xa8 affamato", win::kMbIconInformation, title);
    ticksAfterBox = events.ticks.size();
  };
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (ticksAfterBox == 0 && Clock::now() < end) platform_->loop().iterate();
  ASSERT_TRUE(closed) << "no box titled " << title << " came up";
  ASSERT_NE(ticksAfterBox, 0u) << "the box did not close";
  EXPECT_EQ(ticksAfterBox, ticksBeforeBox) << "a tick ran while the box was open";
  platform_->loop().setTimerEnabled(closer, false);
  runFor(60);
  EXPECT_GT(events.ticks.size(), ticksAfterBox + 3) << "ticks did not resume after the box";
}

}  // namespace
}  // namespace guizzolo::x11::test
