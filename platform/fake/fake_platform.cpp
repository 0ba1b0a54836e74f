#include "platform/fake/fake_platform.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "platform/posix/files.h"
#include "platform/posix/user_folder.h"

namespace guizzolo::fake {
namespace {

constexpr int kScreenWidth = 1280, kScreenHeight = 800;

std::string flag(bool on) { return on ? "on" : "off"; }

}  // namespace

FakeWindow::FakeWindow(FakePlatform& platform, const WindowLayout& l, WindowEvents& e)
    : layout(l), events(e), backColour(l.backColour), platform_(platform) {
  const int width = static_cast<int>(std::lround(l.clientWidth / platform.tpp));
  const int height = static_cast<int>(std::lround(l.clientHeight / platform.tpp));
  geometry = {(kScreenWidth - width) / 2, (kScreenHeight - height) / 2, width, height};
  for (const ControlLayout& c : l.controls) {
    controlShown.push_back(c.visible);
    texts.push_back(c.caption);
  }
  for (const TimerLayout& t : l.timers) timers.push_back(t.enabled);
  platform_.windows.push_back(this);
}

FakeWindow::~FakeWindow() {
  auto& all = platform_.windows;
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
  platform_.log.push_back("destroy(" + layout.caption + ")");
}

void FakeWindow::call(const std::string& what) const { platform_.call(what); }

PixelRect FakeWindow::rect() const {
  call("rect");
  return geometry;
}

void FakeWindow::move(int x, int y) {
  call("move(" + std::to_string(x) + "," + std::to_string(y) + ")");
  geometry.x = x;
  geometry.y = y;
}

void FakeWindow::resize(int width, int height) {
  call("resize");
  geometry.width = width;
  geometry.height = height;
}

void FakeWindow::show() {
  call("show(" + layout.caption + ")");
  visible = true;
}

void FakeWindow::setBackColour(Colour colour) {
  call("setBackColour");
  backColour = colour;
}

std::int32_t FakeWindow::getWindowLong(int index) {
  call("getWindowLong(" + std::to_string(index) + ")");
  return exStyle;
}

void FakeWindow::setWindowLong(int index, std::int32_t value) {
  call("setWindowLong(" + std::to_string(index) + "," + std::to_string(value) + ")");
  exStyle = value;
}

void FakeWindow::setLayeredWindowAttributes(Colour key, std::uint8_t alpha, std::uint32_t flags) {
  call("setLayeredWindowAttributes(" + std::to_string(key) + "," + std::to_string(alpha) + "," +
       std::to_string(flags) + ")");
  colourKey = key;
  layeredFlags = flags;
}

void FakeWindow::setWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy,
                              std::uint32_t flags) {
  call("setWindowPos(" + std::to_string(insertAfter) + "," + std::to_string(x) + "," +
       std::to_string(y) + "," + std::to_string(cx) + "," + std::to_string(cy) + "," +
       std::to_string(flags) + ")");
  topMost = insertAfter == win::kHwndTopMost;
  geometry = {x, y, cx, cy};
  if (flags & win::kSwpShowWindow) visible = true;
}

void FakeWindow::giveFocus() { call("giveFocus"); }

void FakeWindow::releaseCapture() { call("releaseCapture"); }

void FakeWindow::dragMove() {
  call("dragMove");
  if (platform_.duringDrag) platform_.duringDrag();
  geometry.x += platform_.dragDx;
  geometry.y += platform_.dragDy;
}

void FakeWindow::setControlVisible(int controlId, bool shown) {
  call("setControlVisible(" + std::to_string(controlId) + "," + flag(shown) + ")");
  controlShown.at(static_cast<std::size_t>(controlId)) = shown;
}

bool FakeWindow::controlVisible(int controlId) const {
  return controlShown.at(static_cast<std::size_t>(controlId));
}

std::string FakeWindow::text(int controlId) const {
  call("text(" + std::to_string(controlId) + ")");
  return texts.at(static_cast<std::size_t>(controlId));
}

void FakeWindow::setText(int controlId, const std::string& value) {
  call("setText(" + std::to_string(controlId) + "," + value + ")");
  texts.at(static_cast<std::size_t>(controlId)) = value;
}

void FakeWindow::setTimerEnabled(int timerId, bool enabled) {
  call("Timer" + std::to_string(timerId) + " " + flag(enabled));
  timers.at(static_cast<std::size_t>(timerId - 1)) = enabled;
}

bool FakeWindow::timerEnabled(int timerId) const {
  return timers.at(static_cast<std::size_t>(timerId - 1));
}

FakePlatform::FakePlatform(std::string programFolder) : folder_(std::move(programFolder)) {}

FakePlatform::~FakePlatform() {
  if (claim_ >= 0) ::close(claim_);
}

void FakePlatform::call(const std::string& what) {
  log.push_back(what);
  const std::string name = what.substr(0, what.find_first_of("( "));
  if (failing.count(name) != 0) throw Failure("injected: " + name);
}

std::unique_ptr<Window> FakePlatform::createWindow(const WindowLayout& layout, WindowEvents& events) {
  call("createWindow(" + layout.caption + ")");
  return std::make_unique<FakeWindow>(*this, layout, events);
}

float FakePlatform::twipsPerPixelX() {
  call("twipsPerPixelX");
  return tpp;
}

float FakePlatform::twipsPerPixelY() {
  call("twipsPerPixelY");
  return tpp;
}

void FakePlatform::randomize(float seed) { call("randomize(" + std::to_string(seed) + ")"); }

float FakePlatform::rnd() {
  call("rnd");
  if (draws.empty()) return 0.5f;
  const float r = draws.front();
  draws.pop_front();
  return r;
}

float FakePlatform::secondsSinceMidnight() { return seconds; }
std::string FakePlatform::shortDate() { return date; }
std::string FakePlatform::longTime() { return time; }
std::string FakePlatform::decimalSeparator() { return separator; }

void FakePlatform::msgBox(const std::string& text, int style, const std::string& title) {
  call("msgBox(" + text + ")");
  boxes.push_back({text, style, title});
  if (duringBox) duringBox();
}

void FakePlatform::openUrl(const std::string& url) { call("openUrl(" + url + ")"); }
std::string FakePlatform::programFolder() { return folder_; }
std::string FakePlatform::pathSeparator() { return "/"; }

std::string FakePlatform::readFile(const std::string& path, std::size_t maxBytes) {
  call("readFile(" + path + ")");
  return posix::readFilePrefix(path, maxBytes);
}

void FakePlatform::writeFile(const std::string& path, const std::string& bytes) {
  call("writeFile(" + path + ")");
  const std::string folder = path.substr(0, path.find_last_of('/'));
  if (refusing.count(folder) != 0) throw Refused("read-only folder: " + folder);
  posix::writeFileWhole(path, bytes);
}

std::string FakePlatform::userFolder() { return userFolderPath; }

bool FakePlatform::claimFile(const std::string& path) {
  call("claimFile(" + path + ")");
  const int fd = posix::claimFolderOf(path);
  if (fd == posix::kClaimedElsewhere) return false;
  if (fd >= 0) {
    if (claim_ >= 0) ::close(claim_);
    claim_ = fd;
  }
  return true;
}

bool FakePlatform::takesFile(const std::string& path) {
  return refusing.count(path.substr(0, path.find_last_of('/'))) == 0;
}

void FakePlatform::createFolders(const std::string& path) {
  call("createFolders(" + path + ")");
  for (std::string folder = path; !folder.empty();) {
    if (refusing.count(folder) != 0) throw Failure("read-only folder: " + folder);
    const auto slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash);
  }
  posix::createPrivateFolders(path);
}

MediaPlayer& FakePlatform::mediaPlayer() { return *this; }

void FakePlatform::end() {
  log.push_back("end");
  throw ProgramEnded{};
}

void FakePlatform::open(const std::string& path) {
  call("open(" + path + ")");
  // As the real player: a file that is not there cannot be opened.
  posix::readFilePrefix(path, 0);
}

void FakePlatform::setAutoStart(std::int32_t value) { call("setAutoStart(" + std::to_string(value) + ")"); }

void FakePlatform::draw(int s, int e) {
  // Mid-bucket values, so the integer part lands exactly on s - 1 and e - 1.
  draws.push_back((static_cast<float>(s) - 0.5f) / 200.0f);
  draws.push_back((static_cast<float>(e) - 0.5f) / 1000.0f);
}

FakeWindow* FakePlatform::window(const std::string& caption) const {
  for (FakeWindow* w : windows)
    if (w->layout.caption == caption) return w;
  return nullptr;
}

void FakePlatform::tick(const std::string& caption, int timerId) {
  FakeWindow* w = window(caption);
  if (w != nullptr && w->timerEnabled(timerId)) w->events.timer(timerId);
}

std::vector<std::string> FakePlatform::calls(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& line : log)
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
  return out;
}

}  // namespace guizzolo::fake
