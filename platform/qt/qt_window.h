// One top-level window of the program, built from its layout: the
// borderless pet window or the framed control panel.
#pragma once

#include <QPointer>
#include <QRegion>
#include <memory>
#include <optional>
#include <vector>

#include "platform/platform.h"
#include "platform/qt/tick_gate.h"
#include "platform/qt/window_state_x11.h"

class QTimer;
class QWidget;

namespace guizzolo::qt {

class TopLevelWidget;

class QtWindow final : public Window {
 public:
  QtWindow(const WindowLayout& layout, WindowEvents& events, float twipsPerPixelX,
           float twipsPerPixelY, const TickGate& ticks);
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
    const TickGate* ticks = nullptr;
    std::optional<QPoint> pressPoint;  // of the last press on a picture, in the window
    QtWindow* owner = nullptr;
    int ticking = 0;  // timer handlers running now
  };

 private:
  struct Control {
    ControlKind kind;
    QWidget* widget;
  };
  struct Timer {
    QTimer* timer;
    bool enabled;
  };

  const Control& control(int controlId) const;
  Timer& timer(int timerId);
  const Timer& timer(int timerId) const;

  // The rectangle the program sees: the window's, moved to a pending place.
  QRect outerRect() const;
  void setOuterRect(const QRect& wanted);
  void applyPendingMove();
  void setOnTop(bool onTop);
  void afterShow();
  // Creates the native window and gives it what must be there before its first map.
  void beforeShow();
  void raiseIfNeeded();
  bool colourKeyed() const;
  // Shapes the window to what it draws; called only when that changes.
  void updateShape();

  std::shared_ptr<Link> link_;
  bool framed_;
  QPointer<TopLevelWidget> widget_;
  std::vector<Control> controls_;
  std::vector<Timer> timers_;
  QWidget* firstFocus_ = nullptr;

  Colour backColour_ = 0;
  std::int32_t extendedStyle_ = 0;
  Colour key_ = 0;
  std::uint32_t layeredFlags_ = 0;
  bool shaped_ = false;
  // A tick moves the window in x and then in y: both go to the window
  // system as one move when the tick is over.
  std::optional<QPoint> pendingMove_;
  x11::RaiseTracker raise_;
};

// Twips to pixels, to the nearest pixel (halves to even).
int toPixels(float twips, float twipsPerPixel);

}  // namespace guizzolo::qt
