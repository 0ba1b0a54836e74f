// What a pet window keeps for the program, whichever window system shows it:
// its place and size in the program's own pixels, the style and key colour
// it was given, its controls' visibility and texts, and its timers. A change
// reaches the screen at the window's next commit: at once, or at the end of
// the event being handled (see Commits).
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/x11/commits.h"
#include "platform/x11/configure.h"
#include "platform/x11/event_loop.h"
#include "platform/x11/tick_gate.h"

namespace guizzolo::x11 {

// Control: the window's own record of a control, with at least kind,
// visible and text.
template <class Control>
class KeptWindow : public Window, protected Commits::Committer {
 public:
  PixelRect rect() const override { return PixelRect{logical_.x, logical_.y, logical_.width, logical_.height}; }
  void move(int x, int y) override {
    logical_.x = x;
    logical_.y = y;
    changed();
  }
  void resize(int width, int height) override {
    logical_.width = std::max(width, 1);
    logical_.height = std::max(height, 1);
    changed();
  }
  void show() override {
    wantMapped_ = true;
    changed();
  }
  void setBackColour(Colour colour) override {
    backColour_ = colour;
    changed();
  }

  std::int32_t getWindowLong(int index) override {
    if (index != win::kGwlExStyle) throw Failure("window long not kept");
    return extendedStyle_;
  }
  void setWindowLong(int index, std::int32_t value) override {
    if (index != win::kGwlExStyle) throw Failure("window long not kept");
    extendedStyle_ = value;
    changed();
  }
  // Only the colour key is carried out; the program never asks for alpha.
  void setLayeredWindowAttributes(Colour key, std::uint8_t, std::uint32_t flags) override {
    key_ = key;
    layeredFlags_ = flags;
    changed();
  }

  void setControlVisible(int controlId, bool visible) override {
    control(controlId);
    controls_[static_cast<std::size_t>(controlId)].visible = visible;
    changed();
  }
  bool controlVisible(int controlId) const override { return control(controlId).visible; }
  std::string text(int controlId) const override { return textControl(controlId).text; }
  void setText(int controlId, const std::string& text) override {
    textControl(controlId);
    controls_[static_cast<std::size_t>(controlId)].text = text;
  }

  void setTimerEnabled(int timerId, bool enabled) override { loop_.setTimerEnabled(timerHandle(timerId), enabled); }
  bool timerEnabled(int timerId) const override { return loop_.timerEnabled(timerHandle(timerId)); }

 protected:
  KeptWindow(EventLoop& loop, Commits& commits, const TickGate& ticks, WindowEvents& events, Colour backColour)
      : loop_(loop), commits_(commits), ticks_(ticks), events_(&events), backColour_(backColour) {}
  ~KeptWindow() override {
    *alive_ = false;
    commits_.remove(this);
    for (int handle : timers_) loop_.removeTimer(handle);
  }
  KeptWindow(const KeptWindow&) = delete;
  KeptWindow& operator=(const KeptWindow&) = delete;

  // The layout's timers, and the window among those that commit: last in
  // the derived window's constructor, once it can commit.
  void start(const WindowLayout& layout) {
    std::weak_ptr<bool> weak = alive_;
    for (std::size_t i = 0; i < layout.timers.size(); ++i) {
      const int timerId = static_cast<int>(i) + 1;
      const int handle = loop_.addTimer(layout.timers[i].intervalMs, [this, weak, timerId] {
        if (!weak.lock()) return;
        // While a message box waits, a tick is dropped, not kept for later.
        if (ticks_.held()) return;
        Commits::Batch batch(commits_);
        events_->timer(timerId);
      });
      timers_.push_back(handle);
      loop_.setTimerEnabled(handle, layout.timers[i].enabled);
    }
    commits_.add(this);
  }

  // What SetWindowPos asks of the place, the size and the visibility.
  void keepPlace(int x, int y, int cx, int cy, std::uint32_t flags) {
    if ((flags & win::kSwpNoMove) == 0) {
      logical_.x = x;
      logical_.y = y;
    }
    if ((flags & win::kSwpNoSize) == 0) {
      logical_.width = std::max(cx, 1);
      logical_.height = std::max(cy, 1);
    }
    if ((flags & win::kSwpShowWindow) != 0) wantMapped_ = true;
    if ((flags & win::kSwpHideWindow) != 0) wantMapped_ = false;
  }

  void changed() {
    if (!commits_.deferred()) commit();
  }
  const Control& control(int id) const {
    if (id < 0 || static_cast<std::size_t>(id) >= controls_.size()) throw Failure("no such control");
    return controls_[static_cast<std::size_t>(id)];
  }

  EventLoop& loop_;
  Commits& commits_;
  const TickGate& ticks_;
  WindowEvents* events_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::vector<Control> controls_;
  Geometry logical_;  // the place and size the program sees, in its own pixels
  Colour backColour_;
  std::int32_t extendedStyle_ = 0;
  Colour key_ = 0;
  std::uint32_t layeredFlags_ = 0;
  bool wantMapped_ = false;

 private:
  const Control& textControl(int id) const {
    const Control& c = control(id);
    if (c.kind == ControlKind::Picture || c.kind == ControlKind::Line) throw Failure("control has no text");
    return c;
  }
  int timerHandle(int timerId) const {
    if (timerId < 1 || static_cast<std::size_t>(timerId) > timers_.size()) throw Failure("no such timer");
    return timers_[static_cast<std::size_t>(timerId) - 1];
  }

  std::vector<int> timers_;  // event loop ids, by timer id - 1
};

}  // namespace guizzolo::x11
