// The control panel before Qt is there. The program loads the panel hidden
// at the first tick and keeps its hunger value in it; all of that is program
// state (texts, visibility, focus order) kept here. The Qt window is made
// from it the first time the panel must be shown, and from then on every
// call goes to that window.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/platform.h"

namespace guizzolo::x11 {

class PanelProxy final : public Window {
 public:
  // makeReal builds the Qt window from the layout (with the texts and the
  // visibility the program has set meanwhile); Failure when it cannot.
  using MakeReal = std::function<std::unique_ptr<Window>(const WindowLayout&)>;
  PanelProxy(const WindowLayout& layout, float twipsPerPixelX, float twipsPerPixelY, PixelRect screen,
             MakeReal makeReal);

  PixelRect rect() const override;
  void move(int x, int y) override;
  void resize(int width, int height) override;
  void show() override;
  void setBackColour(Colour colour) override;

  std::int32_t getWindowLong(int index) override;
  void setWindowLong(int index, std::int32_t value) override;
  void setLayeredWindowAttributes(Colour key, std::uint8_t alpha, std::uint32_t flags) override;
  void setWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy, std::uint32_t flags) override;

  void giveFocus() override;
  void releaseCapture() override;
  void dragMove() override;

  void setControlVisible(int controlId, bool visible) override;
  bool controlVisible(int controlId) const override;
  std::string text(int controlId) const override;
  void setText(int controlId, const std::string& text) override;

  void setTimerEnabled(int timerId, bool enabled) override;
  bool timerEnabled(int timerId) const override;

  bool real() const { return real_ != nullptr; }

 private:
  Window& realise();
  ControlLayout& control(int controlId);
  const ControlLayout& control(int controlId) const;

  WindowLayout layout_;  // kept up to date until the real window exists
  MakeReal makeReal_;
  PixelRect rect_;
  bool moved_ = false;
  std::int32_t extendedStyle_ = 0;
  std::unique_ptr<Window> real_;
};

}  // namespace guizzolo::x11
