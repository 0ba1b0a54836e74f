#include "platform/x11/panel_proxy.h"

#include <cmath>

namespace guizzolo::x11 {
namespace {

constexpr std::uint32_t kNoSize = 0x0001;
constexpr std::uint32_t kNoMove = 0x0002;

int toPixels(float twips, float twipsPerPixel) {
  return static_cast<int>(std::nearbyint(static_cast<double>(twips) / static_cast<double>(twipsPerPixel)));
}

}  // namespace

PanelProxy::PanelProxy(const WindowLayout& layout, float twipsPerPixelX, float twipsPerPixelY, PixelRect screen,
                       MakeReal makeReal)
    : layout_(layout), makeReal_(std::move(makeReal)) {
  rect_.width = toPixels(layout.clientWidth, twipsPerPixelX);
  rect_.height = toPixels(layout.clientHeight, twipsPerPixelY);
  if (layout.centred) {
    rect_.x = screen.x + (screen.width - rect_.width) / 2;
    rect_.y = screen.y + (screen.height - rect_.height) / 2;
  }
}

Window& PanelProxy::realise() {
  if (real_) return *real_;
  real_ = makeReal_(layout_);
  if (!real_) throw Failure("the panel cannot be shown");
  if (moved_) real_->move(rect_.x, rect_.y);
  if (extendedStyle_ != 0) real_->setWindowLong(win::kGwlExStyle, extendedStyle_);
  return *real_;
}

ControlLayout& PanelProxy::control(int controlId) {
  if (controlId < 0 || static_cast<std::size_t>(controlId) >= layout_.controls.size())
    throw Failure("no such control");
  return layout_.controls[static_cast<std::size_t>(controlId)];
}

const ControlLayout& PanelProxy::control(int controlId) const {
  return const_cast<PanelProxy*>(this)->control(controlId);
}

PixelRect PanelProxy::rect() const { return real_ ? real_->rect() : rect_; }

void PanelProxy::move(int x, int y) {
  if (real_) return real_->move(x, y);
  rect_.x = x;
  rect_.y = y;
  moved_ = true;
}

void PanelProxy::resize(int width, int height) {
  // The panel has a fixed size; a hidden one takes it when it is made.
  realise().resize(width, height);
}

void PanelProxy::show() { realise().show(); }

void PanelProxy::setBackColour(Colour colour) {
  if (real_) return real_->setBackColour(colour);
  layout_.backColour = colour;
}

std::int32_t PanelProxy::getWindowLong(int index) {
  if (real_) return real_->getWindowLong(index);
  if (index != win::kGwlExStyle) throw Failure("window long not kept");
  return extendedStyle_;
}

void PanelProxy::setWindowLong(int index, std::int32_t value) {
  if (real_) return real_->setWindowLong(index, value);
  if (index != win::kGwlExStyle) throw Failure("window long not kept");
  extendedStyle_ = value;
}

void PanelProxy::setLayeredWindowAttributes(Colour key, std::uint8_t alpha, std::uint32_t flags) {
  realise().setLayeredWindowAttributes(key, alpha, flags);
}

void PanelProxy::setWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy, std::uint32_t flags) {
  if (real_ || (flags & win::kSwpShowWindow) != 0 || (flags & kNoSize) == 0)
    return realise().setWindowPos(insertAfter, x, y, cx, cy, flags);
  if ((flags & kNoMove) == 0) move(x, y);
}

void PanelProxy::giveFocus() {
  if (real_) real_->giveFocus();
}

void PanelProxy::releaseCapture() {
  if (real_) real_->releaseCapture();
}

void PanelProxy::dragMove() {
  if (real_) real_->dragMove();
}

void PanelProxy::setControlVisible(int controlId, bool visible) {
  if (real_) return real_->setControlVisible(controlId, visible);
  control(controlId).visible = visible;
}

bool PanelProxy::controlVisible(int controlId) const {
  return real_ ? real_->controlVisible(controlId) : control(controlId).visible;
}

std::string PanelProxy::text(int controlId) const {
  if (real_) return real_->text(controlId);
  const ControlLayout& c = control(controlId);
  if (c.kind == ControlKind::Picture || c.kind == ControlKind::Line) throw Failure("control has no text");
  return c.caption;
}

void PanelProxy::setText(int controlId, const std::string& text) {
  if (real_) return real_->setText(controlId, text);
  ControlLayout& c = control(controlId);
  if (c.kind == ControlKind::Picture || c.kind == ControlKind::Line) throw Failure("control has no text");
  c.caption = text;
}

void PanelProxy::setTimerEnabled(int timerId, bool enabled) {
  if (real_) return real_->setTimerEnabled(timerId, enabled);
  // The panel has no timers of its own: kept as flags until it is made.
  if (timerId < 1 || static_cast<std::size_t>(timerId) > layout_.timers.size()) throw Failure("no such timer");
  layout_.timers[static_cast<std::size_t>(timerId) - 1].enabled = enabled;
}

bool PanelProxy::timerEnabled(int timerId) const {
  if (real_) return real_->timerEnabled(timerId);
  if (timerId < 1 || static_cast<std::size_t>(timerId) > layout_.timers.size()) throw Failure("no such timer");
  return layout_.timers[static_cast<std::size_t>(timerId) - 1].enabled;
}

}  // namespace guizzolo::x11
