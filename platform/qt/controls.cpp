#include "platform/qt/controls.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace guizzolo::qt {

TopLevelWidget::TopLevelWidget() = default;

void TopLevelWidget::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (onCloseRequested) onCloseRequested();
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
