#include "platform/qt/qt_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "platform/qt/colour.h"
#include "platform/qt/controls.h"
#include "platform/qt/drag_loop.h"
#include "platform/qt/key_mask.h"
#include "platform/qt/pictures.h"
#include "platform/qt/window_state_x11.h"

namespace guizzolo::qt {
namespace {

// SetWindowPos flags the program may pass besides those it names itself.
constexpr std::uint32_t kNoSize = 0x0001;
constexpr std::uint32_t kNoMove = 0x0002;
constexpr std::uint32_t kNoZOrder = 0x0004;
constexpr std::uint32_t kHideWindow = 0x0080;

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QFont layoutFont(const Font& font) {
  QFont qfont = QApplication::font();
  if (!font.family.empty()) {
    QStringList families{fromUtf8(font.family)};
    // Metrically close free fonts, for desktops without the original ones.
    if (font.family == "Verdana") families << QStringLiteral("DejaVu Sans");
    if (font.family == "Arial Narrow") families << QStringLiteral("Liberation Sans Narrow");
    qfont.setFamilies(families);
  }
  if (font.points > 0) qfont.setPointSizeF(font.points);
  qfont.setBold(font.bold);
  qfont.setItalic(font.italic);
  return qfont;
}

// Labels are opaque; without colours of their own they take the system's
// button face and button text.
QPalette labelPalette(const ControlLayout& c) {
  QPalette palette = QApplication::palette();
  palette.setColor(QPalette::Window, c.backColour == kSystemColour ? palette.color(QPalette::Button)
                                                                   : toQColor(c.backColour));
  palette.setColor(QPalette::WindowText, c.foreColour == kSystemColour
                                             ? palette.color(QPalette::ButtonText)
                                             : toQColor(c.foreColour));
  return palette;
}

}  // namespace

int toPixels(float twips, float twipsPerPixel) {
  return static_cast<int>(std::nearbyint(static_cast<double>(twips) / static_cast<double>(twipsPerPixel)));
}

QtWindow::QtWindow(const WindowLayout& layout, WindowEvents& events, float twipsPerPixelX,
                   float twipsPerPixelY, const TickGate& ticks)
    : link_(std::make_shared<Link>()),
      framed_(layout.style == WindowStyle::FixedToolWindow),
      widget_(new TopLevelWidget),
      raise_(widget_) {
  link_->events = &events;
  link_->ticks = &ticks;
  link_->owner = this;
  const auto px = [&](float twips) { return toPixels(twips, twipsPerPixelX); };
  const auto py = [&](float twips) { return toPixels(twips, twipsPerPixelY); };

  widget_->setWindowTitle(fromUtf8(layout.caption));
  if (framed_) {
    // A plain window to Qt, not a tool one: Qt would name its hidden client
    // leader as the panel's parent (WM_TRANSIENT_FOR), which some window
    // managers refuse. Its window type is set to a utility one before each map.
    widget_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint);
    if (layout.hasIcon) widget_->setWindowIcon(panelIcon());
  } else {
    // The pet: no frame, and never the active window nor the keyboard's.
    widget_->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                            Qt::NoDropShadowWindowHint);
    widget_->setAttribute(Qt::WA_ShowWithoutActivating);
    widget_->setFocusPolicy(Qt::NoFocus);
  }
  const QSize client(px(layout.clientWidth), py(layout.clientHeight));
  if (framed_) {
    widget_->setFixedSize(client);
  } else {
    widget_->resize(client);
  }
  if (layout.centred) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->availableGeometry();
      widget_->move(area.x() + (area.width() - client.width()) / 2,
                    area.y() + (area.height() - client.height()) / 2);
    }
  }
  widget_->setAutoFillBackground(true);
  backColour_ = layout.backColour;
  QPalette background = widget_->palette();
  background.setColor(QPalette::Window, toQColor(backColour_));
  widget_->setPalette(background);

  std::weak_ptr<Link> weak = link_;
  std::vector<std::pair<int, QWidget*>> focusOrder;
  for (std::size_t i = 0; i < layout.controls.size(); ++i) {
    const ControlLayout& c = layout.controls[i];
    const int id = static_cast<int>(i);
    const QRect place(px(c.left), py(c.top), px(c.width), py(c.height));
    QWidget* w = nullptr;
    switch (c.kind) {
      case ControlKind::Picture: {
        const QImage source = loadPicture(c.picture);
        auto* picture = new PictureControl(widget_, c.stretch ? scaledNearest(source, place.size()) : source);
        picture->setGeometry(QRect(place.topLeft(), c.stretch ? place.size() : source.size()));
        picture->onPress = [weak, id](int button, QPoint inWindow) {
          const auto link = weak.lock();
          if (!link || link->events == nullptr) return;
          link->pressPoint = inWindow;
          link->events->mouseDown(id, button);
        };
        w = picture;
        break;
      }
      case ControlKind::Label: {
        auto* label = new LabelControl(widget_);
        label->setText(fromUtf8(c.caption));
        label->setAlignment(c.centred ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter));
        label->setPalette(labelPalette(c));
        label->onClick = [weak, id] {
          const auto link = weak.lock();
          if (link && link->events != nullptr) link->events->click(id);
        };
        label->setGeometry(place);
        w = label;
        break;
      }
      case ControlKind::TextField: {
        auto* field = new QLineEdit(widget_);
        field->setText(fromUtf8(c.caption));
        field->setReadOnly(c.readOnly);
        field->setGeometry(place);
        field->setFocusPolicy(Qt::StrongFocus);
        focusOrder.emplace_back(c.tabIndex, field);
        w = field;
        break;
      }
      case ControlKind::Button: {
        auto* button = new QPushButton(fromUtf8(c.caption), widget_);
        // Return presses the button that has the focus, as on any dialog;
        // Qt grants that only to buttons inside a QDialog unless asked.
        button->setAutoDefault(true);
        button->setGeometry(place);
        button->setFocusPolicy(Qt::StrongFocus);
        QObject::connect(button, &QPushButton::clicked, button, [weak, id] {
          const auto link = weak.lock();
          if (link && link->events != nullptr) link->events->click(id);
        });
        focusOrder.emplace_back(c.tabIndex, button);
        w = button;
        break;
      }
      case ControlKind::Line: {
        const QColor colour = c.foreColour == kSystemColour ? QApplication::palette().color(QPalette::WindowText)
                                                            : toQColor(c.foreColour);
        w = new LineControl(widget_, QPoint(px(c.left), py(c.top)), QPoint(px(c.width), py(c.height)), colour);
        break;
      }
    }
    if (c.kind != ControlKind::Line && c.kind != ControlKind::Picture) w->setFont(layoutFont(c.font));
    if (c.pointer != Pointer::Arrow) w->setCursor(pointerCursor(c.pointer));
    if (!c.visible) w->hide();
    controls_.push_back(Control{c.kind, w});
  }

  // Only fields and buttons take the keyboard, in the order of their tab indexes.
  std::stable_sort(focusOrder.begin(), focusOrder.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 1; i < focusOrder.size(); ++i)
    QWidget::setTabOrder(focusOrder[i - 1].second, focusOrder[i].second);
  if (!focusOrder.empty()) firstFocus_ = focusOrder.front().second;

  for (std::size_t i = 0; i < layout.timers.size(); ++i) {
    const TimerLayout& t = layout.timers[i];
    auto* qtimer = new QTimer(widget_);
    qtimer->setInterval(t.intervalMs);
    const int id = static_cast<int>(i) + 1;
    QObject::connect(qtimer, &QTimer::timeout, qtimer, [weak, id] {
      const auto link = weak.lock();
      if (!link || link->events == nullptr) return;
      // While a message box waits, a tick is dropped, not kept for later.
      if (link->ticks->held()) return;
      ++link->ticking;
      link->events->timer(id);
      --link->ticking;
      if (link->ticking == 0 && link->owner != nullptr) link->owner->applyPendingMove();
    });
    timers_.push_back(Timer{qtimer, false});
    setTimerEnabled(id, t.enabled);
  }

  widget_->onCloseRequested = [weak] {
    const auto link = weak.lock();
    if (link && link->events != nullptr) link->events->closeRequested();
  };
}

QtWindow::~QtWindow() {
  link_->events = nullptr;
  link_->owner = nullptr;
  for (Timer& t : timers_) t.timer->stop();
  if (widget_) {
    QWidget* grabber = QWidget::mouseGrabber();
    if (grabber != nullptr && (grabber == widget_ || widget_->isAncestorOf(grabber))) grabber->releaseMouse();
    widget_->hide();
    x11::flush();
    // This may run inside one of the window's own events (a button, the close box).
    widget_->deleteLater();
  }
}

QWidget* QtWindow::widget() const { return widget_; }

QWidget* QtWindow::controlWidget(int controlId) const { return control(controlId).widget; }

const QtWindow::Control& QtWindow::control(int controlId) const {
  if (controlId < 0 || static_cast<std::size_t>(controlId) >= controls_.size())
    throw Failure("no such control");
  return controls_[static_cast<std::size_t>(controlId)];
}

QtWindow::Timer& QtWindow::timer(int timerId) {
  if (timerId < 1 || static_cast<std::size_t>(timerId) > timers_.size()) throw Failure("no such timer");
  return timers_[static_cast<std::size_t>(timerId) - 1];
}

const QtWindow::Timer& QtWindow::timer(int timerId) const {
  return const_cast<QtWindow*>(this)->timer(timerId);
}

QRect QtWindow::outerRect() const {
  QRect r = framed_ ? widget_->frameGeometry() : widget_->geometry();
  if (pendingMove_) r.moveTopLeft(*pendingMove_);
  return r;
}

PixelRect QtWindow::rect() const {
  const QRect r = outerRect();
  return PixelRect{r.x(), r.y(), r.width(), r.height()};
}

void QtWindow::setOuterRect(const QRect& wanted) {
  pendingMove_.reset();
  const QRect now = outerRect();
  if (wanted == now) return;
  if (!framed_) {
    widget_->setGeometry(wanted);
  } else {
    // The frame stays as thick as it is; the client area takes the rest.
    if (wanted.size() != now.size())
      widget_->resize(wanted.size() - (now.size() - widget_->size()));
    if (wanted.topLeft() != now.topLeft()) widget_->move(wanted.topLeft());
  }
  if (wanted.size() != now.size()) updateShape();
}

void QtWindow::move(int x, int y) {
  if (link_->ticking > 0 && !framed_) {
    pendingMove_ = QPoint(x, y);
    return;
  }
  const QRect now = outerRect();
  setOuterRect(QRect(QPoint(x, y), now.size()));
  x11::flush();
}

void QtWindow::applyPendingMove() {
  if (!pendingMove_) return;
  setOuterRect(outerRect());
  x11::flush();
}

void QtWindow::resize(int width, int height) {
  const QRect now = outerRect();
  setOuterRect(QRect(now.topLeft(), QSize(width, height)));
}

void QtWindow::beforeShow() {
  const bool created = widget_->testAttribute(Qt::WA_WState_Created);
  widget_->winId();
  if (!created) {
    if (QWindow* handle = widget_->windowHandle()) {
      // The map request goes out at once: what Qt does after it in the same
      // call (its accessibility bridge may wait for a session bus) must not
      // hold the window back.
      QObject::connect(handle, &QWindow::visibleChanged, handle, [](bool visible) {
        if (visible) x11::flush();
      });
    }
  }
  if (framed_) x11::closeBoxOnly(widget_);
  raise_.invalidate();
}

void QtWindow::raiseIfNeeded() {
  if (!raise_.needed()) return;
  widget_->raise();
  raise_.raised();
}

void QtWindow::afterShow() {
  // A window manager drops these states whenever the window is hidden.
  x11::skipTaskbarAndPager(widget_);
}

void QtWindow::show() {
  const bool wasHidden = widget_->isHidden();
  if (framed_ && wasHidden && firstFocus_ != nullptr) firstFocus_->setFocus(Qt::OtherFocusReason);
  // A panel the window manager has minimised would stay out of sight: it has
  // no taskbar button to bring it back.
  if (widget_->isMinimized()) widget_->setWindowState(widget_->windowState() & ~Qt::WindowMinimized);
  if (wasHidden) beforeShow();
  widget_->show();
  widget_->raise();
  raise_.raised();
  // The panel comes up active (the user has just pressed on the fish); the
  // pet never takes activation.
  if (framed_) widget_->activateWindow();
  afterShow();
  x11::flush();
}

void QtWindow::setBackColour(Colour colour) {
  if (colour == backColour_) return;
  backColour_ = colour;
  QPalette palette = widget_->palette();
  palette.setColor(QPalette::Window, toQColor(colour));
  widget_->setPalette(palette);
  updateShape();
}

std::int32_t QtWindow::getWindowLong(int index) {
  if (index != win::kGwlExStyle) throw Failure("window long not kept");
  return extendedStyle_;
}

void QtWindow::setWindowLong(int index, std::int32_t value) {
  if (index != win::kGwlExStyle) throw Failure("window long not kept");
  if (value == extendedStyle_) return;
  extendedStyle_ = value;
  updateShape();
}

void QtWindow::setLayeredWindowAttributes(Colour key, std::uint8_t, std::uint32_t flags) {
  // Only the colour key is carried out; the program never asks for alpha.
  if (key == key_ && flags == layeredFlags_) return;
  key_ = key;
  layeredFlags_ = flags;
  updateShape();
}

bool QtWindow::colourKeyed() const {
  return (extendedStyle_ & win::kWsExLayered) != 0 && (layeredFlags_ & win::kLwaColorKey) != 0;
}

void QtWindow::updateShape() {
  if (!colourKeyed()) {
    if (shaped_) widget_->clearMask();
    shaped_ = false;
    return;
  }
  QImage drawn(widget_->size(), QImage::Format_RGB32);
  drawn.fill(toRgb(backColour_));
  {
    // Control by control: a widget renders its children only once they are
    // on screen, and the shape must be right before the window first shows.
    // Pictures draw no background, so the GIF's transparent pixels let
    // through what lies below.
    QPainter painter(&drawn);
    for (const Control& c : controls_) {
      if (!c.widget->isHidden())
        c.widget->render(&painter, c.widget->pos(), QRegion(), QWidget::DrawChildren);
    }
  }
  const QRegion shown = pixelsOtherThan(drawn, toRgb(key_));
  widget_->setMask(shown.isEmpty() ? nothingVisible() : shown);
  shaped_ = true;
}

void QtWindow::setOnTop(bool onTop) {
  const Qt::WindowFlags flags = widget_->windowFlags();
  if (flags.testFlag(Qt::WindowStaysOnTopHint) == onTop) return;
  const Qt::WindowFlags next = onTop ? flags | Qt::WindowStaysOnTopHint : flags & ~Qt::WindowStaysOnTopHint;
  // setWindowFlags() would destroy and re-create a shown window (a flicker,
  // and lost focus); telling the existing native window keeps it.
  widget_->overrideWindowFlags(next);
  if (QWindow* handle = widget_->windowHandle()) handle->setFlags(next);
  // Qt has just written its own hints again.
  if (framed_) x11::closeBoxOnly(widget_);
  raise_.invalidate();
}

void QtWindow::setWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy,
                            std::uint32_t flags) {
  if (insertAfter == win::kHwndTopMost) setOnTop(true);
  if (insertAfter == win::kHwndNoTopMost) setOnTop(false);
  const QRect now = outerRect();
  const QPoint place = (flags & kNoMove) != 0 ? now.topLeft() : QPoint(x, y);
  const QSize size = (flags & kNoSize) != 0 ? now.size() : QSize(cx, cy);
  setOuterRect(QRect(place, size));
  if ((flags & win::kSwpShowWindow) != 0 && widget_->isHidden()) {
    beforeShow();
    widget_->show();
    if (framed_ && (flags & win::kSwpNoActivate) == 0) widget_->activateWindow();
    afterShow();
  } else if ((flags & kHideWindow) != 0 && !widget_->isHidden()) {
    widget_->hide();
  }
  // To the top of its band; a window manager takes this as a stacking
  // request only, never as activation.
  if ((flags & kNoZOrder) == 0 && !widget_->isHidden()) raiseIfNeeded();
  x11::flush();
}

void QtWindow::giveFocus() {
  // Nothing: focus is the user's. Taking it from a timer would steal the
  // keyboard from whatever program the user is typing in.
}

void QtWindow::releaseCapture() {
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
}

void QtWindow::dragMove() {
  if (!widget_) return;
  const QPoint offset = link_->pressPoint.value_or(QCursor::pos() - widget_->pos());
  followPointerUntilRelease(widget_, offset);
}

void QtWindow::setControlVisible(int controlId, bool visible) {
  QWidget* w = control(controlId).widget;
  if (w->isHidden() == !visible) return;
  w->setVisible(visible);
  updateShape();
}

bool QtWindow::controlVisible(int controlId) const { return !control(controlId).widget->isHidden(); }

std::string QtWindow::text(int controlId) const {
  const Control& c = control(controlId);
  switch (c.kind) {
    case ControlKind::Label: return static_cast<QLabel*>(c.widget)->text().toStdString();
    case ControlKind::TextField: return static_cast<QLineEdit*>(c.widget)->text().toStdString();
    case ControlKind::Button: return static_cast<QPushButton*>(c.widget)->text().toStdString();
    case ControlKind::Picture:
    case ControlKind::Line: break;
  }
  throw Failure("control has no text");
}

void QtWindow::setText(int controlId, const std::string& text) {
  const Control& c = control(controlId);
  const QString value = fromUtf8(text);
  switch (c.kind) {
    case ControlKind::Label: static_cast<QLabel*>(c.widget)->setText(value); break;
    case ControlKind::TextField: static_cast<QLineEdit*>(c.widget)->setText(value); break;
    case ControlKind::Button: static_cast<QPushButton*>(c.widget)->setText(value); break;
    case ControlKind::Picture:
    case ControlKind::Line: throw Failure("control has no text");
  }
  if (shaped_ && !c.widget->isHidden()) updateShape();
}

void QtWindow::setTimerEnabled(int timerId, bool enabled) {
  Timer& t = timer(timerId);
  t.enabled = enabled;
  if (!enabled) {
    t.timer->stop();
  } else if (!t.timer->isActive() && t.timer->interval() > 0) {
    t.timer->start();
  }
}

bool QtWindow::timerEnabled(int timerId) const { return timer(timerId).enabled; }

}  // namespace guizzolo::qt
