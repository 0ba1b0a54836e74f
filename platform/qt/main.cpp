// The program's entry: the pet on Qt, with no arguments read.
#include <QApplication>
#include <QSocketNotifier>
#include <QtGlobal>

#include <functional>
#include <memory>

#include "app/program.h"
#include "platform/posix/session_signals.h"
#include "platform/qt/qt_platform.h"

namespace {

// The program says nothing on the terminal; Qt's own warnings (no audio
// device, a font not found) are of no use to the user.
void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

class SessionEndFilter : public QObject {
 public:
  explicit SessionEndFilter(std::function<void()> end) : end_(std::move(end)) {}
  bool eventFilter(QObject* target, QEvent* event) override {
    if (target == qApp && event->type() == QEvent::Quit) end_();
    return QObject::eventFilter(target, event);
  }

 private:
  std::function<void()> end_;
};

}  // namespace

int main(int argc, char* argv[]) {
  // Under Wayland a window can neither place itself nor stay on top:
  // run through XWayland when there is an X display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "xcb");
  qInstallMessageHandler(dropMessage);
  // First of all, so a logout during start-up waits for the loop.
  const int sessionEnd = guizzolo::posix::sessionSignalFd();

  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);

  guizzolo::qt::QtPlatform platform;
  guizzolo::Program program(platform);
  // Also inside a message box or a drag: their loops watch it too.
  std::unique_ptr<QSocketNotifier> notifier;
  if (sessionEnd >= 0) {
    notifier = std::make_unique<QSocketNotifier>(sessionEnd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [&] { program.EndSession(); });
  }
  program.Start();
  // The session manager's Die at a logout reaches the program as Qt's quit
  // request (the windows would refuse to close, and the quit with them).
  SessionEndFilter sessionManagerDie([&] { program.EndSession(); });
  app.installEventFilter(&sessionManagerDie);
  return QApplication::exec();
}
