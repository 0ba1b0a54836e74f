#include "platform/qt/controls.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace guizzolo::qt {
namespace {

int buttonNumber(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
  }
}

}  // namespace

TopLevelWidget::TopLevelWidget() = default;

void TopLevelWidget::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (onCloseRequested) onCloseRequested();
}

PictureControl::PictureControl(QWidget* parent, QImage image)
    : QWidget(parent), image_(std::move(image)), pixmap_(QPixmap::fromImage(image_)) {
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PictureControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, pixmap_);
}

void PictureControl::mousePressEvent(QMouseEvent* event) {
  const int button = buttonNumber(event->button());
  if (button == 0 || !onPress) return;
  // The callback may end in a nested event loop (the drag); copy what it needs.
  auto press = onPress;
  press(button, mapTo(window(), event->position().toPoint()));
}

LabelControl::LabelControl(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setFocusPolicy(Qt::NoFocus);
  setAutoFillBackground(true);
}

void LabelControl::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
}

void LabelControl::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressed_ && event->button() == Qt::LeftButton &&
                     rect().contains(event->position().toPoint());
  pressed_ = false;
  if (click && onClick) {
    auto clicked = onClick;  // the handler may destroy this label's window
    clicked();
  }
}

LineControl::LineControl(QWidget* parent, QPoint from, QPoint to, QColor colour)
    : QWidget(parent), colour_(colour) {
  const QPoint topLeft(std::min(from.x(), to.x()), std::min(from.y(), to.y()));
  setGeometry(QRect(topLeft, QSize(std::abs(to.x() - from.x()) + 1, std::abs(to.y() - from.y()) + 1)));
  from_ = from - topLeft;
  to_ = to - topLeft;
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(QPen(colour_, 0));
  painter.drawLine(from_, to_);
}

}  // namespace guizzolo::qt
