#include "platform/wayland/layer_pet_window.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <cmath>

#include "fractional-scale-v1.h"
#include "platform/twips.h"
#include "platform/wayland/shm_buffer.h"
#include "platform/x11/cursor_file.h"
#include "platform/x11/embedded.h"
#include "platform/x11/fish_pictures.h"
#include "viewporter.h"
#include "wlr-layer-shell-unstable-v1.h"

namespace guizzolo::wayland {
namespace {

LayerPetWindow& pet(void* data) { return *static_cast<LayerPetWindow*>(data); }

void onConfigure(void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t, std::uint32_t) {
  pet(data).configured(serial);
}
void onClosed(void* data, zwlr_layer_surface_v1*) { pet(data).closed(); }
const zwlr_layer_surface_v1_listener kLayer = [] {
  zwlr_layer_surface_v1_listener l{};
  l.configure = &onConfigure;
  l.closed = &onClosed;
  return l;
}();

void onEnter(void* data, wl_surface*, wl_output* output) { pet(data).entered(output); }
void onLeave(void* data, wl_surface*, wl_output* output) { pet(data).left(output); }
const wl_surface_listener kSurface = [] {
  wl_surface_listener l{};
  l.enter = &onEnter;
  l.leave = &onLeave;
  return l;
}();

void onPreferredScale(void* data, wp_fractional_scale_v1*, std::uint32_t scale) { pet(data).preferredScale(scale); }
const wp_fractional_scale_v1_listener kFractional = [] {
  wp_fractional_scale_v1_listener l{};
  l.preferred_scale = &onPreferredScale;
  return l;
}();

void onSyncDone(void* data, wl_callback* callback, std::uint32_t) { pet(data).synced(callback); }
const wl_callback_listener kSync = [] {
  wl_callback_listener l{};
  l.done = &onSyncDone;
  return l;
}();

int scaled(int length, double scale) { return std::max(1, static_cast<int>(std::lround(length * scale))); }

}  // namespace

LayerPetWindow::LayerPetWindow(PetEnv& env, const WindowLayout& layout, WindowEvents& events, float twipsPerPixelX,
                               float twipsPerPixelY)
    : KeptWindow(env.loop, env.commits, env.ticks, events, layout.backColour), env_(env) {
  const auto px = [&](float twips) { return twipsToPixels(twips, twipsPerPixelX); };
  const auto py = [&](float twips) { return twipsToPixels(twips, twipsPerPixelY); };
  logical_.width = std::max(px(layout.clientWidth), 1);
  logical_.height = std::max(py(layout.clientHeight), 1);
  if (layout.centred) {
    const PixelRect screen = env_.display.screen();
    logical_.x = (screen.width - logical_.width) / 2;
    logical_.y = (screen.height - logical_.height) / 2;
  }
  for (const ControlLayout& cl : layout.controls) {
    controls_.push_back(Control{cl.kind, cl.visible, x11::Geometry{px(cl.left), py(cl.top), px(cl.width), py(cl.height)},
                                cl.picture, cl.stretch, cl.caption});
    if (cl.pointer == Pointer::GrabHand) grabHand_ = true;
  }
  start(layout);
}

LayerPetWindow::~LayerPetWindow() {
  *alive_ = false;
  destroySurface();
  for (auto& [key, look] : looks_)
    if (look.buffer != nullptr) wl_buffer_destroy(look.buffer);
  if (cursorSurface_ != nullptr) wl_surface_destroy(cursorSurface_);
  if (cursorBuffer_ != nullptr) wl_buffer_destroy(cursorBuffer_);
  env_.display.flush();
}

void LayerPetWindow::setWindowPos(std::intptr_t, int x, int y, int cx, int cy, std::uint32_t flags) {
  // Both bands are the overlay layer: above every window, the panel too, as
  // the band of ordinary windows' top is on X11.
  keepPlace(x, y, cx, cy, flags);
  changed();
}

bool LayerPetWindow::keyed() const {
  return (extendedStyle_ & win::kWsExLayered) != 0 && (layeredFlags_ & win::kLwaColorKey) != 0;
}

double LayerPetWindow::scale() const {
  if (viewport_ != nullptr && scale120_ > 0) return scale120_ / 120.0;
  int s = 1;
  for (wl_output* o : outputs_) s = std::max(s, env_.display.outputScale(o));
  return s;
}

const LayerPetWindow::Look& LayerPetWindow::currentLook() {
  const double s = scale();
  std::vector<std::uint64_t> key = {backColour_, keyed() ? key_ : 0xFFFFFFFFu,
                                    static_cast<std::uint64_t>(logical_.width) << 32 |
                                        static_cast<std::uint32_t>(logical_.height),
                                    static_cast<std::uint64_t>(std::lround(s * 1200))};
  for (const Control& c : controls_) key.push_back(c.visible);
  if (auto it = looks_.find(key); it != looks_.end()) return it->second;

  // The pictures drawn at the buffer's own size (crisp at any scale), and the
  // input shape worked out at the surface's.
  const auto compose = [&](double by) {
    std::vector<image::Image> images;
    std::vector<x11::Geometry> places;
    for (const Control& c : controls_) {
      if (c.kind != ControlKind::Picture || !c.visible || c.picture == Picture::None) continue;
      const image::Image& source = x11::fishPicture(c.picture);
      const x11::Geometry at{static_cast<int>(std::lround(c.place.x * by)), static_cast<int>(std::lround(c.place.y * by)),
                             c.stretch ? scaled(c.place.width, by) : scaled(source.width, by),
                             c.stretch ? scaled(c.place.height, by) : scaled(source.height, by)};
      // Nearest neighbour only: a smooth scaling would blend the outline
      // into the key colour and leave a cyan fringe.
      images.push_back(image::scaledNearest(source, at.width, at.height));
      places.push_back(at);
    }
    std::vector<x11::PlacedPicture> placed;
    for (std::size_t i = 0; i < images.size(); ++i) placed.push_back(x11::PlacedPicture{&images[i], places[i].x, places[i].y});
    return x11::composePet(scaled(logical_.width, by), scaled(logical_.height, by), backColour_, keyed(), key_, placed);
  };
  const x11::PetPixels pixels = compose(s);
  Look look;
  look.width = pixels.width;
  look.height = pixels.height;
  look.keyed = pixels.keyed;
  look.shape = s == 1.0 ? pixels.shape : compose(1.0).shape;
  look.buffer = makeShmBuffer(env_.display.shm(), pixels.width, pixels.height, pixels.argb);
  if (look.buffer == nullptr) throw Failure("no memory for the picture");
  return looks_.emplace(std::move(key), std::move(look)).first->second;
}

void LayerPetWindow::createSurface() {
  wl_compositor* compositor = env_.display.compositor();
  surface_ = wl_compositor_create_surface(compositor);
  wl_surface_add_listener(surface_, &kSurface, this);
  if (env_.display.viewporter() != nullptr) viewport_ = wp_viewporter_get_viewport(env_.display.viewporter(), surface_);
  if (env_.display.fractionalScale() != nullptr && viewport_ != nullptr) {
    fractional_ = wp_fractional_scale_manager_v1_get_fractional_scale(env_.display.fractionalScale(), surface_);
    wp_fractional_scale_v1_add_listener(fractional_, &kFractional, this);
  }
  layer_ = zwlr_layer_shell_v1_get_layer_surface(env_.display.layerShell(), surface_, nullptr,
                                                 ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "guizzolo");
  zwlr_layer_surface_v1_add_listener(layer_, &kLayer, this);
  zwlr_layer_surface_v1_set_size(layer_, static_cast<std::uint32_t>(logical_.width),
                                 static_cast<std::uint32_t>(logical_.height));
  zwlr_layer_surface_v1_set_anchor(layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
  // Margins from the output's own edges, whatever bars reserve.
  zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);
  zwlr_layer_surface_v1_set_margin(layer_, logical_.y, 0, 0, logical_.x);
  zwlr_layer_surface_v1_set_keyboard_interactivity(layer_, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
  env_.display.route(surface_, this);
  // No buffer yet: the compositor answers with the first configure.
  wl_surface_commit(surface_);
  placed_ = logical_;
  basis_ = logical_;
  configured_ = false;
}

void LayerPetWindow::destroySurface() {
  if (surface_ == nullptr) return;
  env_.display.route(nullptr, nullptr);
  if (fractional_ != nullptr) wp_fractional_scale_v1_destroy(fractional_);
  if (viewport_ != nullptr) wp_viewport_destroy(viewport_);
  if (layer_ != nullptr) zwlr_layer_surface_v1_destroy(layer_);
  wl_surface_destroy(surface_);
  for (auto& [callback, at] : syncs_) wl_callback_destroy(callback);
  syncs_.clear();
  fractional_ = nullptr;
  viewport_ = nullptr;
  layer_ = nullptr;
  surface_ = nullptr;
  configured_ = false;
  placed_.reset();
  shown_ = nullptr;
  outputs_.clear();
  pointerIn_ = leftDown_ = dragging_ = false;
}

void LayerPetWindow::applyLook(const Look& look) {
  wl_surface_attach(surface_, look.buffer, 0, 0);
  wl_surface_damage_buffer(surface_, 0, 0, look.width, look.height);
  if (viewport_ != nullptr) {
    wp_viewport_set_destination(viewport_, logical_.width, logical_.height);
  } else {
    wl_surface_set_buffer_scale(surface_, std::max(1, look.width / std::max(logical_.width, 1)));
  }
  if (!look.keyed) {
    wl_surface_set_input_region(surface_, nullptr);  // all of it
  } else {
    wl_region* region = wl_compositor_create_region(env_.display.compositor());
    for (const x11::ShapeRect& r : look.shape) wl_region_add(region, r.x, r.y, r.width, r.height);
    wl_surface_set_input_region(surface_, region);
    wl_region_destroy(region);
  }
  shown_ = &look;
}

void LayerPetWindow::commit() {
  if (env_.display.lost()) return;
  if (!wantMapped_) {
    destroySurface();
  } else if (surface_ == nullptr) {
    createSurface();
  } else if (configured_) {
    bool dirty = false;
    if (!placed_ || placed_->width != logical_.width || placed_->height != logical_.height) {
      zwlr_layer_surface_v1_set_size(layer_, static_cast<std::uint32_t>(logical_.width),
                                     static_cast<std::uint32_t>(logical_.height));
      dirty = true;
    }
    bool moved = false;
    if (!placed_ || placed_->x != logical_.x || placed_->y != logical_.y) {
      zwlr_layer_surface_v1_set_margin(layer_, logical_.y, 0, 0, logical_.x);
      dirty = moved = true;
    }
    placed_ = logical_;
    const Look& look = currentLook();
    if (&look != shown_) {
      applyLook(look);
      dirty = true;
    }
    // One commit for everything the tick changed; none when nothing did.
    if (dirty) wl_surface_commit(surface_);
    if (moved && dragging_ && !relativeSeen_) {
      // Only a drag reads the pointer against the place: a sync then, so
      // that each motion is read from the place it was measured from.
      wl_callback* callback = wl_display_sync(env_.display.display());
      wl_callback_add_listener(callback, &kSync, this);
      syncs_.emplace_back(callback, logical_);
    }
  }
  env_.display.flush();
}

void LayerPetWindow::configured(std::uint32_t serial) {
  zwlr_layer_surface_v1_ack_configure(layer_, serial);
  if (configured_) return;
  configured_ = true;
  shown_ = nullptr;
  changed();
}

void LayerPetWindow::synced(wl_callback* callback) {
  for (auto it = syncs_.begin(); it != syncs_.end(); ++it) {
    if (it->first != callback) continue;
    const x11::Geometry at = it->second;
    syncs_.erase(it);
    wl_callback_destroy(callback);
    std::weak_ptr<bool> weak = alive_;
    env_.display.defer([this, weak, at] {
      if (weak.lock()) basis_ = at;
    });
    return;
  }
}

void LayerPetWindow::closed() {
  // The output went away: a new surface on the next commit, where the
  // compositor then puts it.
  destroySurface();
  changed();
}

void LayerPetWindow::entered(wl_output* output) {
  outputs_.insert(output);
  changed();
}

void LayerPetWindow::left(wl_output* output) {
  outputs_.erase(output);
  changed();
}

void LayerPetWindow::preferredScale(std::uint32_t scale120) {
  scale120_ = scale120;
  changed();
}

void LayerPetWindow::setCursor(std::uint32_t serial) {
  wl_pointer* pointer = env_.display.pointer();
  if (pointer == nullptr || !grabHand_) return;
  if (cursorSurface_ == nullptr) {
    const auto image = x11::decodeCursor(x11::embedded::kGrabHandCur.data, x11::embedded::kGrabHandCur.size);
    if (!image) return;
    cursorBuffer_ = makeShmBuffer(env_.display.shm(), image->width, image->height, image->argb);
    if (cursorBuffer_ == nullptr) return;
    cursorSurface_ = wl_compositor_create_surface(env_.display.compositor());
    wl_surface_attach(cursorSurface_, cursorBuffer_, 0, 0);
    wl_surface_damage_buffer(cursorSurface_, 0, 0, image->width, image->height);
    wl_surface_commit(cursorSurface_);
    cursorHotX_ = image->hotX;
    cursorHotY_ = image->hotY;
  }
  wl_pointer_set_cursor(pointer, serial, cursorSurface_, cursorHotX_, cursorHotY_);
}

void LayerPetWindow::pointerEnter(std::uint32_t serial, double x, double y) {
  pointerIn_ = true;
  pointerAt_ = {x, y};
  setCursor(serial);
  env_.display.flush();
}

void LayerPetWindow::pointerLeave() {
  pointerIn_ = false;
  // The compositor broke the button's hold on the surface: the drag is over.
  leftDown_ = false;
  dragging_ = false;
}

void LayerPetWindow::pointerMotion(double x, double y) {
  pointerAt_ = {x, y};
  // Compositors differ in where they measure a held pointer from (sway: the
  // surface's place at the press): where the relative pointer gives steps,
  // they alone move the fish.
  if (!dragging_ || relativeSeen_) return;
  // Else keep the pressed point under the pointer, measured from where the
  // compositor had the surface when it saw the motion (KWin).
  move(basis_.x + static_cast<int>(std::lround(x - pressPoint_.first)),
       basis_.y + static_cast<int>(std::lround(y - pressPoint_.second)));
}

void LayerPetWindow::pointerDelta(double dx, double dy) {
  // An absolute pointer (a tablet, KWin's fake input) moves with steps of 0.
  if (!dragging_ || (dx == 0 && dy == 0)) return;
  if (!relativeSeen_) {
    // From where the drag began: a motion read the other way may have
    // moved the fish already (sway sends it first).
    relativeSeen_ = true;
    dragAt_ = dragStart_;
  }
  dragAt_.first += dx;
  dragAt_.second += dy;
  move(static_cast<int>(std::lround(dragAt_.first)), static_cast<int>(std::lround(dragAt_.second)));
}

void LayerPetWindow::pointerButton(std::uint32_t code, bool pressed) {
  if (code == BTN_LEFT) leftDown_ = pressed;
  if (!pressed) {
    if (code == BTN_LEFT) dragging_ = false;
    return;
  }
  if (dragging_) return;
  // A message box of the program is modal: the pet waits for its answer.
  if (env_.ticks.held()) return;
  int button = 0;
  if (code == BTN_LEFT) button = static_cast<int>(MouseButton::Left);
  if (code == BTN_RIGHT) button = static_cast<int>(MouseButton::Right);
  if (code == BTN_MIDDLE) button = static_cast<int>(MouseButton::Middle);
  if (button == 0) return;
  // The topmost visible picture under the press; the input region has
  // already kept presses on key-coloured pixels away.
  const double x = pointerAt_.first, y = pointerAt_.second;
  for (std::size_t i = controls_.size(); i-- > 0;) {
    const Control& c = controls_[i];
    if (c.kind != ControlKind::Picture || !c.visible) continue;
    if (x < c.place.x || y < c.place.y || x >= c.place.x + c.place.width || y >= c.place.y + c.place.height) continue;
    pressPoint_ = pointerAt_;
    x11::Commits::Batch batch(env_.commits);
    events_->mouseDown(static_cast<int>(i), button);
    return;
  }
}

void LayerPetWindow::dragMove() {
  // The compositor keeps the pointer with the surface while the button that
  // went down on it is held: the drag follows the motion until the release.
  if (dragging_ || !configured_ || !leftDown_) return;
  x11::Commits::Nested nested(env_.commits);
  dragging_ = true;
  // The press was seen with the surface where the last commit put it, at
  // the latest.
  if (placed_ && syncs_.empty()) basis_ = *placed_;
  relativeSeen_ = false;
  dragStart_ = {logical_.x, logical_.y};
  std::weak_ptr<bool> weak = alive_;
  while (!weak.expired() && dragging_ && !env_.display.lost()) env_.loop.iterate();
  if (!weak.expired()) dragging_ = false;
}

}  // namespace guizzolo::wayland
