// The program's entry: the pet on Qt, with no arguments read.
#include <QApplication>
#include <QtGlobal>

#include "app/program.h"
#include "platform/qt/qt_platform.h"

namespace {

// The program says nothing on the terminal; Qt's own warnings (no audio
// device, a font not found) are of no use to the user.
void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

int main(int argc, char* argv[]) {
  // Under Wayland a window can neither place itself nor stay on top:
  // run through XWayland when there is an X display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "xcb");
  qInstallMessageHandler(dropMessage);

  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);

  guizzolo::qt::QtPlatform platform;
  guizzolo::Program program(platform);
  program.Start();
  return QApplication::exec();
}
