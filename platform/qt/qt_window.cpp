#include "platform/qt/qt_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <algorithm>

#include "platform/qt/colour.h"
#include "platform/qt/controls.h"
#include "platform/qt/pictures.h"
#include "platform/qt/window_state_x11.h"
#include "platform/twips.h"

namespace guizzolo::qt {
namespace {

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

QtWindow::QtWindow(const WindowLayout& layout, WindowEvents& events, float twipsPerPixelX,
                   float twipsPerPixelY)
    : link_(std::make_shared<Link>()) {
  // The pet is an xcb window of the program's own; only the panel comes here.
  if (layout.style != WindowStyle::FixedToolWindow) throw Failure("only the framed panel is made with Qt");
  if (!layout.timers.empty()) throw Failure("the panel keeps no timers");
  if (std::any_of(layout.controls.begin(), layout.controls.end(),
                  [](const ControlLayout& c) { return c.kind == ControlKind::Picture; }))
    throw Failure("the panel shows no pictures");
  widget_ = new TopLevelWidget;
  link_->events = &events;
  const auto px = [&](float twips) { return twipsToPixels(twips, twipsPerPixelX); };
  const auto py = [&](float twips) { return twipsToPixels(twips, twipsPerPixelY); };

  widget_->setWindowTitle(fromUtf8(layout.caption));
  // A plain window to Qt, not a tool one: Qt would name its hidden client
  // leader as the panel's parent (WM_TRANSIENT_FOR), which some window
  // managers refuse. Its window type is set to a utility one before each map.
  widget_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  if (layout.hasIcon) widget_->setWindowIcon(panelIcon());
  const QSize client(px(layout.clientWidth), py(layout.clientHeight));
  widget_->setFixedSize(client);
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
      case ControlKind::Picture: throw Failure("the panel shows no pictures");  // refused above
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
    if (c.kind != ControlKind::Line) w->setFont(layoutFont(c.font));
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

  widget_->onCloseRequested = [weak] {
    const auto link = weak.lock();
    if (link && link->events != nullptr) link->events->closeRequested();
  };
}

QtWindow::~QtWindow() {
  link_->events = nullptr;
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

PixelRect QtWindow::rect() const {
  const QRect r = widget_->frameGeometry();
  return PixelRect{r.x(), r.y(), r.width(), r.height()};
}

void QtWindow::setOuterRect(const QRect& wanted) {
  const QRect now = widget_->frameGeometry();
  if (wanted == now) return;
  // The frame stays as thick as it is; the client area takes the rest.
  if (wanted.size() != now.size()) widget_->resize(wanted.size() - (now.size() - widget_->size()));
  if (wanted.topLeft() != now.topLeft()) widget_->move(wanted.topLeft());
}

void QtWindow::move(int x, int y) {
  setOuterRect(QRect(QPoint(x, y), widget_->frameGeometry().size()));
  x11::flush();
}

void QtWindow::resize(int width, int height) {
  const QRect now = widget_->frameGeometry();
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
  x11::closeBoxOnly(widget_);
}

void QtWindow::show() {
  const bool wasHidden = widget_->isHidden();
  if (wasHidden && firstFocus_ != nullptr) firstFocus_->setFocus(Qt::OtherFocusReason);
  // A panel the window manager has minimised would stay out of sight: it has
  // no taskbar button to bring it back.
  if (widget_->isMinimized()) widget_->setWindowState(widget_->windowState() & ~Qt::WindowMinimized);
  if (wasHidden) beforeShow();
  widget_->show();
  widget_->raise();
  // The panel comes up active: the user has just pressed on the fish.
  widget_->activateWindow();
  // A window manager drops these states whenever the window is hidden.
  x11::skipTaskbarAndPager(widget_);
  x11::flush();
}

void QtWindow::setBackColour(Colour colour) {
  if (colour == backColour_) return;
  backColour_ = colour;
  QPalette palette = widget_->palette();
  palette.setColor(QPalette::Window, toQColor(colour));
  widget_->setPalette(palette);
}

std::int32_t QtWindow::getWindowLong(int index) {
  if (index != win::kGwlExStyle) throw Failure("window long not kept");
  return extendedStyle_;
}

void QtWindow::setWindowLong(int index, std::int32_t value) {
  if (index != win::kGwlExStyle) throw Failure("window long not kept");
  extendedStyle_ = value;
}

// The panel is placed by move() and show(), never keyed nor put in a band.
void QtWindow::setLayeredWindowAttributes(Colour, std::uint8_t, std::uint32_t) {
  throw Failure("the panel has no colour key");
}

void QtWindow::setWindowPos(std::intptr_t, int, int, int, int, std::uint32_t) {
  throw Failure("the panel is not placed by band");
}

void QtWindow::giveFocus() {
  // Nothing: focus is the user's. Taking it from a timer would steal the
  // keyboard from whatever program the user is typing in.
}

// Nothing of the panel holds the pointer, nor drags the window.
void QtWindow::releaseCapture() {}

void QtWindow::dragMove() {}

void QtWindow::setControlVisible(int controlId, bool visible) {
  QWidget* w = control(controlId).widget;
  if (w->isHidden() == !visible) return;
  w->setVisible(visible);
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
}

void QtWindow::setTimerEnabled(int, bool) { throw Failure("no such timer"); }

bool QtWindow::timerEnabled(int) const { throw Failure("no such timer"); }

}  // namespace guizzolo::qt
