// The control panel, built from its layout: a framed window of labels,
// fields, buttons and lines. The pet is not made here (see platform/x11/).
#pragma once

#include <QPointer>
#include <memory>
#include <vector>

#include "platform/platform.h"

class QWidget;

namespace guizzolo::qt {

class TopLevelWidget;

class QtWindow final : public Window {
 public:
  // Failure for what a panel never has: no frame, pictures, timers.
  QtWindow(const WindowLayout& layout, WindowEvents& events, float twipsPerPixelX, float twipsPerPixelY);
  ~QtWindow() override;
  QtWindow(const QtWindow&) = delete;
  QtWindow& operator=(const QtWindow&) = delete;

  PixelRect rect() const override;
  void move(int x, int y) override;
  void resize(int width, int height) override;
  void show() override;
  void setBackColour(Colour colour) override;

  std::int32_t getWindowLong(int index) override;
  void setWindowLong(int index, std::int32_t value) override;
  void setLayeredWindowAttributes(Colour key, std::uint8_t alpha, std::uint32_t flags) override;
  void setWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy,
                    std::uint32_t flags) override;

  void giveFocus() override;
  void releaseCapture() override;
  void dragMove() override;

  void setControlVisible(int controlId, bool visible) override;
  bool controlVisible(int controlId) const override;
  std::string text(int controlId) const override;
  void setText(int controlId, const std::string& text) override;

  void setTimerEnabled(int timerId, bool enabled) override;
  bool timerEnabled(int timerId) const override;

  // The Qt side, for tests.
  QWidget* widget() const;
  QWidget* controlWidget(int controlId) const;

  // What the widgets' callbacks reach; cut off when the window object goes,
  // while the widgets themselves may live on until their event returns.
  struct Link {
    WindowEvents* events = nullptr;
  };

 private:
  struct Control {
    ControlKind kind;
    QWidget* widget;
  };

  const Control& control(int controlId) const;
  void setOuterRect(const QRect& wanted);
  // Creates the native window and gives it what must be there before its first map.
  void beforeShow();

  std::shared_ptr<Link> link_;
  QPointer<TopLevelWidget> widget_;
  std::vector<Control> controls_;
  QWidget* firstFocus_ = nullptr;
  Colour backColour_ = 0;
  std::int32_t extendedStyle_ = 0;
};

}  // namespace guizzolo::qt
