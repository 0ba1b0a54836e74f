#include "platform/qt/drag_loop.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "platform/qt/window_state_x11.h"

namespace guizzolo::qt {
namespace {

class PointerFollower final : public QObject {
 public:
  PointerFollower(QWidget* window, QPoint grabOffset, QEventLoop& loop)
      : window_(window), offset_(grabOffset), loop_(loop) {}

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MouseMove) {
      const auto* move = static_cast<QMouseEvent*>(event);
      if (!(move->buttons() & Qt::LeftButton)) {
        loop_.quit();
      } else if (window_) {
        const QPoint target = move->globalPosition().toPoint() - offset_;
        if (window_->pos() != target) {
          window_->move(target);
          x11::flush();
        }
      }
    } else if (event->type() == QEvent::MouseButtonRelease) {
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) loop_.quit();
    }
    return false;  // the widgets still see every event
  }

 private:
  QPointer<QWidget> window_;
  QPoint offset_;
  QEventLoop& loop_;
};

bool leftButtonDown() {
  // The X server knows best (a release can be lost to another grab);
  // elsewhere Qt's view of the buttons is all there is.
  if (const auto down = x11::leftButtonDown()) return *down;
  return QGuiApplication::mouseButtons() & Qt::LeftButton;
}

}  // namespace

void followPointerUntilRelease(QWidget* window, QPoint grabOffset) {
  if (window == nullptr || !leftButtonDown()) return;
  QPointer<QWidget> guarded(window);
  QEventLoop loop;
  PointerFollower follower(window, grabOffset, loop);
  QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
  // Should the release never reach us, the button state still ends the move.
  QTimer watchdog;
  watchdog.setInterval(100);
  QObject::connect(&watchdog, &QTimer::timeout, &loop, [&loop] {
    if (!leftButtonDown()) loop.quit();
  });
  qApp->installEventFilter(&follower);
  // Moves outside the small window must reach us too.
  window->grabMouse();
  watchdog.start();
  loop.exec();
  qApp->removeEventFilter(&follower);
  if (guarded) guarded->releaseMouse();
}

}  // namespace guizzolo::qt
