#include "platform/qt/qt_platform.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTime>
#include <QTimer>
#include <QUrl>
#include <bit>
#include <cmath>
#include <cstdlib>

#include "platform/posix/files.h"
#include "platform/posix/locale_formats.h"
#include "platform/posix/program_folder.h"
#include "platform/posix/user_folder.h"
#include "platform/qt/qt_window.h"
#include "platform/qt/sound_worker.h"

namespace guizzolo::qt {
namespace {

float twipsPerPixel(bool horizontal) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return 15.0f;
  const double dpi = horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
  if (!(dpi > 0)) return 15.0f;
  return static_cast<float>(std::round(1440.0 / dpi));
}

}  // namespace

QtPlatform::QtPlatform() : player_(std::make_unique<QtMediaPlayer>()) {}

QtPlatform::~QtPlatform() = default;

std::unique_ptr<Window> QtPlatform::createWindow(const WindowLayout& layout, WindowEvents& events) {
  return std::make_unique<QtWindow>(layout, events, twipsPerPixelX(), twipsPerPixelY(), ticks_);
}

float QtPlatform::twipsPerPixelX() { return twipsPerPixel(true); }
float QtPlatform::twipsPerPixelY() { return twipsPerPixel(false); }

void QtPlatform::randomize(float seed) { random_.seed(std::bit_cast<std::uint32_t>(seed)); }

float QtPlatform::rnd() {
  // 24 random bits: every value is exact in a float, and 1.0 never comes out.
  return static_cast<float>(random_() >> 8) * (1.0f / 16777216.0f);
}

float QtPlatform::secondsSinceMidnight() {
  return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
}

// The user's own LC_TIME and LC_NUMERIC settings, not Qt's tables.
std::string QtPlatform::shortDate() { return posix::shortDate(); }
std::string QtPlatform::longTime() { return posix::longTime(); }
std::string QtPlatform::decimalSeparator() { return posix::decimalSeparator(); }

void QtPlatform::msgBox(const std::string& text, int style, const std::string& title) {
  QMessageBox box(style == win::kMbIconHand ? QMessageBox::Critical : QMessageBox::Information,
                  QString::fromStdString(title), QString::fromStdString(text), QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  // Above the pet, which lives in the always-on-top band.
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  // The box asks the user something: it comes up active, so Return answers it.
  QTimer::singleShot(0, &box, [&box] { box.activateWindow(); });
  TickGate::Hold hold(ticks_);
  box.exec();
}

void QtPlatform::openUrl(const std::string& url) {
  // The address goes to the desktop as a URL: no shell, no command line.
  if (!QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode)))
    throw Failure("no web browser started");
}

// The real executable's folder, byte for byte: Qt's own answer passes
// through UTF-16 and comes back empty for a name that is not valid UTF-8.
std::string QtPlatform::programFolder() { return posix::programFolder(); }

std::string QtPlatform::pathSeparator() { return "/"; }

std::string QtPlatform::readFile(const std::string& path, std::size_t maxBytes) {
  return posix::readFilePrefix(path, maxBytes);
}

void QtPlatform::writeFile(const std::string& path, const std::string& bytes) {
  posix::writeFileWhole(path, bytes);
}

std::string QtPlatform::userFolder() { return posix::userStateFolder(); }

void QtPlatform::createFolders(const std::string& path) { posix::createPrivateFolders(path); }

bool QtPlatform::takesFile(const std::string& path) { return posix::takesFile(path); }

MediaPlayer& QtPlatform::mediaPlayer() { return *player_; }

void QtPlatform::end() {
  // At once: no window is closed, no handler runs, nothing is saved.
  std::_Exit(0);
}

}  // namespace guizzolo::qt
