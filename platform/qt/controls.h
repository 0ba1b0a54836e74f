// The widgets that make up a window built from a layout. They report what
// the user does through plain callbacks; the window object decides what the
// program hears of it.
#pragma once

#include <QLabel>
#include <QWidget>
#include <functional>

namespace guizzolo::qt {

// The top-level window. A press on its close box is a request only: the
// program decides whether and when the window goes.
class TopLevelWidget final : public QWidget {
 public:
  TopLevelWidget();
  std::function<void()> onCloseRequested;

 protected:
  void closeEvent(QCloseEvent* event) override;
};

// A label: opaque text that reports a click (press and release on it).
class LabelControl final : public QLabel {
 public:
  explicit LabelControl(QWidget* parent);
  std::function<void()> onClick;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool pressed_ = false;
};

// A one-pixel straight line between two points of the window.
class LineControl final : public QWidget {
 public:
  LineControl(QWidget* parent, QPoint from, QPoint to, QColor colour);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPoint from_, to_;  // relative to the control
  QColor colour_;
};

}  // namespace guizzolo::qt
