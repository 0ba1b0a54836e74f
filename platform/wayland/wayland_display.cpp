#include "platform/wayland/wayland_display.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "fractional-scale-v1.h"
#include "relative-pointer-unstable-v1.h"
#include "viewporter.h"
#include "wlr-layer-shell-unstable-v1.h"

namespace guizzolo::wayland {
namespace {

WaylandDisplay& self(void* data) { return *static_cast<WaylandDisplay*>(data); }

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
  self(data).addGlobal(registry, name, interface, version);
}
void onGlobalRemove(void* data, wl_registry*, std::uint32_t name) { self(data).removeGlobal(name); }
const wl_registry_listener kRegistry = [] {
  wl_registry_listener l{};
  l.global = &onGlobal;
  l.global_remove = &onGlobalRemove;
  return l;
}();

WaylandDisplay::Output& output(void* data) { return *static_cast<WaylandDisplay::Output*>(data); }
void onGeometry(void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, const char*,
                const char*, std::int32_t) {}
void onMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t) {
  if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
  output(data).width = width;
  output(data).height = height;
}
void onDone(void*, wl_output*) {}
void onScale(void* data, wl_output*, std::int32_t factor) { output(data).scale = factor > 0 ? factor : 1; }
void onName(void*, wl_output*, const char*) {}
void onDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutput = [] {
  wl_output_listener l{};
  l.geometry = &onGeometry;
  l.mode = &onMode;
  l.done = &onDone;
  l.scale = &onScale;
  l.name = &onName;
  l.description = &onDescription;
  return l;
}();

void onCapabilities(void* data, wl_seat*, std::uint32_t caps) { self(data).seatCapabilities(caps); }
void onSeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeat = [] {
  wl_seat_listener l{};
  l.capabilities = &onCapabilities;
  l.name = &onSeatName;
  return l;
}();

void onEnter(void* data, wl_pointer*, std::uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
  const double sx = wl_fixed_to_double(x), sy = wl_fixed_to_double(y);
  self(data).pointerEvent(surface, [=](PointerSink& s) { s.pointerEnter(serial, sx, sy); });
}
void onLeave(void* data, wl_pointer*, std::uint32_t, wl_surface*) {
  self(data).pointerEvent([](PointerSink& s) { s.pointerLeave(); });
}
void onMotion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
  const double sx = wl_fixed_to_double(x), sy = wl_fixed_to_double(y);
  self(data).pointerEvent([=](PointerSink& s) { s.pointerMotion(sx, sy); });
}
void onButton(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button, std::uint32_t state) {
  const bool pressed = state == WL_POINTER_BUTTON_STATE_PRESSED;
  self(data).pointerEvent([=](PointerSink& s) { s.pointerButton(button, pressed); });
}
void onAxis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}
void onFrame(void*, wl_pointer*) {}
void onAxisSource(void*, wl_pointer*, std::uint32_t) {}
void onAxisStop(void*, wl_pointer*, std::uint32_t, std::uint32_t) {}
void onAxisDiscrete(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
const wl_pointer_listener kPointer = [] {
  wl_pointer_listener l{};
  l.enter = &onEnter;
  l.leave = &onLeave;
  l.motion = &onMotion;
  l.button = &onButton;
  l.axis = &onAxis;
  l.frame = &onFrame;
  l.axis_source = &onAxisSource;
  l.axis_stop = &onAxisStop;
  l.axis_discrete = &onAxisDiscrete;
  return l;
}();

void onRelativeMotion(void* data, zwp_relative_pointer_v1*, std::uint32_t, std::uint32_t, wl_fixed_t dx, wl_fixed_t dy,
                      wl_fixed_t, wl_fixed_t) {
  const double x = wl_fixed_to_double(dx), y = wl_fixed_to_double(dy);
  self(data).pointerEvent([=](PointerSink& s) { s.pointerDelta(x, y); });
}
const zwp_relative_pointer_v1_listener kRelative = [] {
  zwp_relative_pointer_v1_listener l{};
  l.relative_motion = &onRelativeMotion;
  return l;
}();

template <typename T>
T* bind(wl_registry* registry, std::uint32_t name, const wl_interface* interface, std::uint32_t offered,
        std::uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, interface, offered < wanted ? offered : wanted));
}

}  // namespace

std::unique_ptr<WaylandDisplay> WaylandDisplay::connect() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (name == nullptr || *name == '\0') return nullptr;
  std::unique_ptr<WaylandDisplay> d(new WaylandDisplay);
  d->display_ = wl_display_connect(nullptr);
  if (d->display_ == nullptr) return nullptr;
  d->registry_ = wl_display_get_registry(d->display_);
  wl_registry_add_listener(d->registry_, &kRegistry, d.get());
  // The globals, then what the outputs and the seat say of themselves.
  if (wl_display_roundtrip(d->display_) < 0 || wl_display_roundtrip(d->display_) < 0) return nullptr;
  if (d->layerShell_ == nullptr || d->compositor_ == nullptr || d->shm_ == nullptr) return nullptr;
  return d;
}

WaylandDisplay::~WaylandDisplay() {
  if (loop_ != nullptr) loop_->unwatch(wl_display_get_fd(display_));
  if (display_ != nullptr) wl_display_disconnect(display_);
}

void WaylandDisplay::addGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                               std::uint32_t version) {
  const std::string is = interface;
  // damage_buffer needs version 4.
  if (is == wl_compositor_interface.name && version >= 4)
    compositor_ = bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
  else if (is == wl_shm_interface.name)
    shm_ = bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
  else if (is == zwlr_layer_shell_v1_interface.name)
    layerShell_ = bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, 4);
  else if (is == wp_viewporter_interface.name)
    viewporter_ = bind<wp_viewporter>(registry, name, &wp_viewporter_interface, version, 1);
  else if (is == wp_fractional_scale_manager_v1_interface.name)
    fractional_ = bind<wp_fractional_scale_manager_v1>(registry, name, &wp_fractional_scale_manager_v1_interface,
                                                       version, 1);
  else if (is == zwp_relative_pointer_manager_v1_interface.name)
    relativeManager_ = bind<zwp_relative_pointer_manager_v1>(registry, name, &zwp_relative_pointer_manager_v1_interface,
                                                             version, 1);
  else if (is == wl_seat_interface.name && seat_ == nullptr) {
    seatVersion_ = version < 5 ? version : 5;
    seat_ = bind<wl_seat>(registry, name, &wl_seat_interface, version, 5);
    wl_seat_add_listener(seat_, &kSeat, this);
  } else if (is == wl_output_interface.name) {
    auto out = std::make_unique<Output>();
    out->name = name;
    out->output = bind<wl_output>(registry, name, &wl_output_interface, version, 2);
    wl_output_add_listener(out->output, &kOutput, out.get());
    outputs_.push_back(std::move(out));
  }
}

void WaylandDisplay::removeGlobal(std::uint32_t name) {
  for (auto it = outputs_.begin(); it != outputs_.end(); ++it) {
    if ((*it)->name != name) continue;
    // Kept alive: a surface may still name it until it hears it left.
    (*it)->width = (*it)->height = 0;
    return;
  }
}

void WaylandDisplay::seatCapabilities(std::uint32_t caps) {
  const bool has = (caps & WL_SEAT_CAPABILITY_POINTER) != 0;
  if (has && pointer_ == nullptr) {
    pointer_ = wl_seat_get_pointer(seat_);
    wl_pointer_add_listener(pointer_, &kPointer, this);
    if (relativeManager_ != nullptr) {
      relative_ = zwp_relative_pointer_manager_v1_get_relative_pointer(relativeManager_, pointer_);
      zwp_relative_pointer_v1_add_listener(relative_, &kRelative, this);
    }
  } else if (!has && pointer_ != nullptr) {
    if (relative_ != nullptr) zwp_relative_pointer_v1_destroy(relative_);
    relative_ = nullptr;
    if (seatVersion_ >= 3)
      wl_pointer_release(pointer_);
    else
      wl_pointer_destroy(pointer_);
    pointer_ = nullptr;
    pointerFocus_ = nullptr;
  }
}

void WaylandDisplay::pointerEvent(wl_surface* surface, std::function<void(PointerSink&)> event) {
  pointerFocus_ = surface;
  pointerEvent(std::move(event));
}

void WaylandDisplay::pointerEvent(std::function<void(PointerSink&)> event) {
  wl_surface* at = pointerFocus_;
  if (at == nullptr || at != routed_) return;
  pending_.push_back([this, at, event = std::move(event)] {
    if (sink_ != nullptr && routed_ == at) event(*sink_);
  });
}

PixelRect WaylandDisplay::screen() const {
  for (const auto& o : outputs_)
    if (o->width > 0 && o->height > 0) return PixelRect{0, 0, o->width / o->scale, o->height / o->scale};
  return PixelRect{0, 0, 1280, 800};
}

int WaylandDisplay::outputScale(wl_output* output) const {
  for (const auto& o : outputs_)
    if (o->output == output) return o->scale;
  return 1;
}

void WaylandDisplay::route(wl_surface* surface, PointerSink* sink) {
  routed_ = surface;
  sink_ = sink;
}

void WaylandDisplay::flush() {
  if (lost_) return;
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) connectionLost();
}

void WaylandDisplay::attach(x11::EventLoop& loop, std::function<void()> lost) {
  loop_ = &loop;
  onLost_ = std::move(lost);
  loop.watch(wl_display_get_fd(display_), [this] { readable(); });
  loop.setAfterDispatch([this] { afterDispatch(); });
}

void WaylandDisplay::readable() {
  if (lost_) return;
  // The loop has seen the connection readable (or hung up): read what is
  // there without a wait of libwayland's own.
  while (wl_display_prepare_read(display_) != 0) {
    if (wl_display_dispatch_pending(display_) < 0) return connectionLost();
  }
  if (wl_display_read_events(display_) < 0 && errno != EAGAIN) return connectionLost();
  if (wl_display_dispatch_pending(display_) < 0) return connectionLost();
  deliver();
}

void WaylandDisplay::afterDispatch() {
  if (lost_) return;
  if (wl_display_dispatch_pending(display_) < 0) return connectionLost();
  deliver();
  // What the events' handlers asked (an acknowledged configure) goes out
  // with the next commit, which flushes: no message of its own per tick.
}

void WaylandDisplay::deliver() {
  // One at a time, each taken off first: a handler's nested loop delivers
  // the ones after it.
  while (!pending_.empty() && !lost_) {
    const std::function<void()> next = std::move(pending_.front());
    pending_.pop_front();
    next();
  }
}

void WaylandDisplay::connectionLost() {
  if (lost_) return;
  lost_ = true;
  pending_.clear();
  if (loop_ != nullptr) loop_->unwatch(wl_display_get_fd(display_));
  if (onLost_) onLost_();
}

}  // namespace guizzolo::wayland
