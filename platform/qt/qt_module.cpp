// The Qt module: everything the program shows with Qt Widgets (the control
// panel and the message boxes), opened by the program the first time one of
// them must be shown. From then on Qt waits for the program's events too.
#include <QApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QMessageBox>
#include <QPixmapCache>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "platform/qt/module_api.h"
#include "platform/qt/qt_window.h"
#include "platform/qt/window_state_x11.h"

namespace guizzolo::qt {
namespace {

bool starting = false;
qtmodule::Host* theHost = nullptr;

// The program says nothing on the terminal; Qt's own warnings (no audio
// device, a font not found) are of no use to the user. A fatal one while Qt
// starts means it found no display: that is said in one line, and the
// program ends with status 1 rather than a core dump.
void onQtMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
  // Said just before Qt ends the process with status 1: the X server is gone.
  if (type == QtWarningMsg && text.startsWith(QLatin1String("The X11 connection broke")) && theHost != nullptr)
    theHost->displayLost();
  if (type != QtFatalMsg) return;
  if (starting) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "NuvoNuvo: no display could be opened for the control panel (QT_QPA_PLATFORM=%s, DISPLAY=%s)\n",
                 platform != nullptr ? platform : "", display != nullptr ? display : "");
  } else {
    std::fprintf(stderr, "NuvoNuvo: %s\n", text.toLocal8Bit().constData());
  }
  std::fflush(stderr);
  std::_Exit(1);
}

// Keeps the mouse and the keyboard from every window but one, as a modal
// window would.
class InputOnlyTo final : public QObject {
 public:
  explicit InputOnlyTo(QWidget* window) : window_(window) {}
  bool eventFilter(QObject* target, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::Close: {
        auto* widget = qobject_cast<QWidget*>(target);
        return widget != nullptr && widget->window() != window_;
      }
      default: return false;
    }
  }

 private:
  QWidget* window_;
};

class QtModule final : public qtmodule::Module {
 public:
  explicit QtModule(qtmodule::Host& host) : host_(host) {
    theHost = &host;
    qInstallMessageHandler(onQtMessage);
    starting = true;
    // Qt reads no command line of the user's: only the program's name.
    app_ = std::make_unique<QApplication>(argc_, argv_);
    starting = false;
    QApplication::setQuitOnLastWindowClosed(false);
    // No pixmap cache: the style keeps its pictures of buttons and frames
    // under the palette's key, and every panel and box has palettes of its
    // own, so no picture was ever found again. The cache filled its 10 MB
    // with those of windows long closed, some 30 KB a panel, and the names
    // of the pictures it lets go stay until someone asks for them (Qt 6.4).
    // The panel is small: drawing it afresh costs nothing to speak of.
    QPixmapCache::setCacheLimit(0);
    // Programs started from here (the web browser) choose their own dispatcher.
    ::unsetenv("QT_NO_GLIB");
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&wake_, &QTimer::timeout, [this] { host_.wakeUp(); });
  }

  void watch(int fd) override {
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [this, fd] { host_.fdReady(fd); });
    notifiers_[fd] = std::move(notifier);
  }

  void unwatch(int fd) override { notifiers_.erase(fd); }

  void wakeAfter(int ms) override {
    if (ms < 0) {
      wake_.stop();
    } else {
      wake_.start(ms);
    }
  }

  void wait() override {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // Outside any Qt event loop, windows the program has let go are deleted here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  std::unique_ptr<Window> createWindow(const WindowLayout& layout, WindowEvents& events, float twipsPerPixelX,
                                       float twipsPerPixelY) override {
    return std::make_unique<QtWindow>(layout, events, twipsPerPixelX, twipsPerPixelY);
  }

  void msgBox(const std::string& text, int style, const std::string& title) override {
    QMessageBox box(style == win::kMbIconHand ? QMessageBox::Critical : QMessageBox::Information,
                    QString::fromStdString(title), QString::fromStdString(text), QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    // Above every window: the pet lives in the always-on-top band. A plain
    // window to Qt, with a dialog's type of ours: as a Qt dialog without a
    // parent it would name Qt's hidden client leader as its parent.
    box.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                       Qt::WindowStaysOnTopHint);
    const bool ours = QApplication::activeWindow() != nullptr;
    if (ours) {
      // The user works in the program (its panel has the keyboard): the box
      // comes up active and modal, so Return answers it.
      box.winId();
      x11::dialogType(&box);
      QTimer::singleShot(0, &box, [&box] { box.activateWindow(); });
      box.exec();
      return;
    }
    // Another program has the keyboard: the box shows without taking it (a
    // Return meant for that program must not answer it unseen); a click on
    // it activates it. Qt activates every modal window it shows, so this one
    // is not modal to Qt: the program's other windows wait for it here.
    box.setWindowModality(Qt::NonModal);  // a message box is born modal
    box.setAttribute(Qt::WA_ShowWithoutActivating);
    box.winId();
    x11::dialogType(&box);
    if (box.windowHandle() != nullptr) box.windowHandle()->setProperty("_q_showWithoutActivating", true);
    QEventLoop answered;
    QObject::connect(&box, &QMessageBox::finished, &answered, &QEventLoop::quit);
    InputOnlyTo only(&box);
    qApp->installEventFilter(&only);
    box.show();
    answered.exec();
    qApp->removeEventFilter(&only);
  }

  void openUrl(const std::string& url) override {
    // The address goes to the desktop as a URL: no shell, no command line.
    if (!QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode)))
      throw Failure("no web browser started");
  }

 private:
  qtmodule::Host& host_;
  int argc_ = 1;
  char name_[9] = "NuvoNuvo";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
  QTimer wake_;
  std::map<int, std::unique_ptr<QSocketNotifier>> notifiers_;
};

}  // namespace
}  // namespace guizzolo::qt

extern "C" __attribute__((visibility("default"))) guizzolo::qtmodule::Module* guizzolo_qt_module_open(
    int version, guizzolo::qtmodule::Host* host) {
  if (version != guizzolo::qtmodule::kVersion || host == nullptr) return nullptr;
  // Lives as long as the process: Qt cannot be started twice.
  static auto* module = new guizzolo::qt::QtModule(*host);
  return module;
}
