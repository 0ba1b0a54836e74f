#include "platform/win32/win32_platform.h"

#include <shellapi.h>

#include <algorithm>

#include "platform/win32/files.h"
#include "platform/win32/locale_formats.h"
#include "platform/win32/message_box.h"
#include "platform/win32/utf8.h"
#include "platform/win32/win32_window.h"

namespace guizzolo::win32 {

Win32Platform::Win32Platform(HINSTANCE instance) : instance_(instance) {
  // The display's logical DPI. The manifest declares the program DPI aware,
  // so on a 120 or 144 DPI screen the layouts in twips grow with it.
  if (HDC screen = GetDC(nullptr)) {
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    if (dpiX > 0) twipsPerPixelX_ = 1440.0f / static_cast<float>(dpiX);
    if (dpiY > 0) twipsPerPixelY_ = 1440.0f / static_cast<float>(dpiY);
    ReleaseDC(nullptr, screen);
  }
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = &Win32Window::windowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.lpszClassName = Win32Window::className();
  RegisterClassExW(&wc);
}

std::unique_ptr<Window> Win32Platform::createWindow(const WindowLayout& layout, WindowEvents& events) {
  return std::make_unique<Win32Window>(*this, layout, events);
}

void Win32Platform::randomize(float seed) { random_.seed(seed); }

float Win32Platform::rnd() { return random_.next(); }

float Win32Platform::secondsSinceMidnight() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return static_cast<float>(now.wHour * 3600 + now.wMinute * 60 + now.wSecond) +
         static_cast<float>(now.wMilliseconds) / 1000.0f;
}

std::string Win32Platform::shortDate() { return userShortDate(); }
std::string Win32Platform::longTime() { return userLongTime(); }
std::string Win32Platform::decimalSeparator() { return userDecimalSeparator(); }

void Win32Platform::msgBox(const std::string& text, int style, const std::string& title) {
  const std::wstring body = widen(text);
  const std::wstring caption = widen(title);
  struct Hold {
    explicit Hold(int& count) : count_(count) { ++count_; }
    ~Hold() { --count_; }
    int& count_;
  } hold(boxesOpen_);
  // A tick inside a drag opens the box from within the window system's move
  // loop, which holds the pointer: the box gets it instead, and the loop is
  // told the button went up, so it ends where the pet is when the box is
  // answered (nothing snaps back, nothing follows a released button).
  HWND dragged = moving_;
  if (dragged != nullptr) ReleaseCapture();
  const int answer = showMessageBox(body, caption, static_cast<UINT>(style));
  if (dragged != nullptr && moving_ == dragged) PostMessageW(dragged, WM_LBUTTONUP, 0, 0);
  if (answer == 0) throw Failure("message box failed");
}

void Win32Platform::openUrl(const std::string& url) {
  const std::wstring address = widen(url);
  // The shell picks the user's browser; nothing is put on a command line.
  const auto result = reinterpret_cast<std::intptr_t>(
      ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED));
  if (result <= 32) throw Failure("no browser");
}

std::string Win32Platform::programFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) throw Failure("no module file name");
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // truncated: a long path
  }
  const auto slash = path.find_last_of(L"\\/");
  return narrow(slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash));
}

std::string Win32Platform::readFile(const std::string& path, std::size_t maxBytes) {
  return readFilePrefix(path, maxBytes);
}

void Win32Platform::writeFile(const std::string& path, const std::string& bytes) { writeFileWhole(path, bytes); }

// Where Windows' file virtualization puts the files that a program without
// a manifest writes into a folder the user may not write: a value stored
// there by such a run (an older build, a copy started from there) carries over.
std::string Win32Platform::userFolder() { return virtualStoreFolder(programFolder()); }

void Win32Platform::createFolders(const std::string& path) { win32::createFolders(path); }

bool Win32Platform::takesFile(const std::string& path) { return win32::takesFile(path); }

bool Win32Platform::claimFile(const std::string& path) { return win32::claimFile(path); }

void Win32Platform::end() { ExitProcess(0); }

void Win32Platform::endSession() {
  if (sessionEnd_) sessionEnd_();
  end();
}

void Win32Platform::removeFramed(HWND hwnd) { framed_.erase(std::remove(framed_.begin(), framed_.end(), hwnd), framed_.end()); }

bool Win32Platform::dialogMessage(MSG& message) {
  for (HWND hwnd : framed_) {
    if (message.hwnd == hwnd || IsChild(hwnd, message.hwnd)) return IsDialogMessageW(hwnd, &message) != 0;
  }
  return false;
}

}  // namespace guizzolo::win32
