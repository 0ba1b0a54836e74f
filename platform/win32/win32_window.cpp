#include "platform/win32/win32_window.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "platform/win32/pictures.h"
#include "platform/win32/utf8.h"
#include "platform/win32/win32_platform.h"

namespace guizzolo::win32 {
namespace {

// Child control ids start past IDOK and IDCANCEL, which the dialog keys send.
constexpr int kFirstControlId = 1000;

int toPixels(float twips, float twipsPerPixel) {
  return static_cast<int>(std::lround(static_cast<double>(twips) / static_cast<double>(twipsPerPixel)));
}

COLORREF systemOr(Colour colour, int systemIndex) {
  return colour == kSystemColour ? GetSysColor(systemIndex) : static_cast<COLORREF>(colour);
}

// A 0x00BBGGRR colour as a 32-bit DIB pixel, 0x00RRGGBB.
std::uint32_t dibPixel(COLORREF colour) {
  return (static_cast<std::uint32_t>(GetRValue(colour)) << 16) |
         (static_cast<std::uint32_t>(GetGValue(colour)) << 8) | GetBValue(colour);
}

}  // namespace

const wchar_t* Win32Window::className() { return L"GuizzoloWindow"; }

Win32Window::Win32Window(Win32Platform& platform, const WindowLayout& layout, WindowEvents& events)
    : platform_(platform), layout_(layout), events_(events), backColour_(layout.backColour) {
  const float tppX = platform_.twipsPerPixelX();
  const float tppY = platform_.twipsPerPixelY();
  RECT outer{0, 0, toPixels(layout.clientWidth, tppX), toPixels(layout.clientHeight, tppY)};
  DWORD style = WS_POPUP | WS_CLIPCHILDREN;
  DWORD exStyle = layout.inTaskbar ? WS_EX_APPWINDOW : WS_EX_TOOLWINDOW;
  if (framed()) {
    style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    exStyle |= WS_EX_WINDOWEDGE;
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
  }
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  if (layout.centred) {
    x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  }
  for (const ControlLayout& c : layout.controls) {
    Control control;
    control.layout = &c;
    control.visible = c.visible;
    control.text = c.caption;
    controls_.push_back(std::move(control));
  }
  timers_.resize(layout.timers.size(), false);

  const std::wstring caption = widen(layout.caption);
  // WM_NCCREATE stores `this` with the window, so hwnd_ is set from there on.
  CreateWindowExW(exStyle, className(), caption.c_str(), style, x, y, width, height, nullptr, nullptr,
                  platform_.instance(), this);
  if (hwnd_ == nullptr) throw Failure("cannot create window");
  if (layout.hasIcon) {
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(programIcon(platform_.instance(), GetSystemMetrics(SM_CXSMICON))));
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(programIcon(platform_.instance(), GetSystemMetrics(SM_CXICON))));
  }
  createControls();
  for (std::size_t i = 0; i < layout.timers.size(); ++i) {
    if (layout.timers[i].enabled) setTimerEnabled(static_cast<int>(i) + 1, true);
  }
  if (framed()) platform_.addFramed(hwnd_);
}

Win32Window::~Win32Window() {
  if (framed()) platform_.removeFramed(hwnd_);
  for (std::size_t i = 0; i < timers_.size(); ++i)
    if (timers_[i]) KillTimer(hwnd_, i + 1);
  // From here on the window's messages no longer reach this object, so the
  // window may go even while one of its own handlers is still on the stack.
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
  for (Control& c : controls_) {
    if (c.font) DeleteObject(c.font);
    if (c.brush) DeleteObject(c.brush);
  }
}

void Win32Window::createControls() {
  const float tppX = platform_.twipsPerPixelX();
  const float tppY = platform_.twipsPerPixelY();
  // Creation order is the tab order: the dialog keys follow the children's
  // z-order, which is the order they were made in.
  std::vector<int> order(controls_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    const int ta = controls_[static_cast<std::size_t>(a)].layout->tabIndex;
    const int tb = controls_[static_cast<std::size_t>(b)].layout->tabIndex;
    return (ta < 0 ? INT32_MAX : ta) < (tb < 0 ? INT32_MAX : tb);
  });
  for (int id : order) {
    Control& c = controls_[static_cast<std::size_t>(id)];
    const ControlLayout& l = *c.layout;
    const int left = toPixels(l.left, tppX);
    const int top = toPixels(l.top, tppY);
    c.pixels = {left, top, left + toPixels(l.width, tppX), top + toPixels(l.height, tppY)};
    if (l.kind == ControlKind::Line) {
      // A line's width and height are its end point.
      c.pixels = {left, top, toPixels(l.width, tppX), toPixels(l.height, tppY)};
      continue;
    }
    if (l.kind == ControlKind::Picture) {
      const Image& source = sourcePicture(platform_.instance(), l.picture);
      const int w = c.pixels.right - c.pixels.left;
      const int h = c.pixels.bottom - c.pixels.top;
      c.picture = l.stretch ? scaledNearest(source, w, h) : source;
      if (!l.stretch) {
        c.pixels.right = c.pixels.left + source.width;
        c.pixels.bottom = c.pixels.top + source.height;
      }
      continue;
    }
    const wchar_t* kind = L"STATIC";
    DWORD style = WS_CHILD | (l.visible ? WS_VISIBLE : 0);
    DWORD exStyle = 0;
    if (l.kind == ControlKind::Label) {
      style |= SS_NOTIFY | SS_NOPREFIX | (l.centred ? SS_CENTER : SS_LEFT);
    } else if (l.kind == ControlKind::TextField) {
      kind = L"EDIT";
      style |= WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT | (l.readOnly ? ES_READONLY : 0);
      exStyle = WS_EX_CLIENTEDGE;
    } else {
      kind = L"BUTTON";
      style |= WS_TABSTOP | BS_PUSHBUTTON;
    }
    const std::wstring text = widen(l.caption);
    c.child = CreateWindowExW(exStyle, kind, text.c_str(), style, c.pixels.left, c.pixels.top,
                              c.pixels.right - c.pixels.left, c.pixels.bottom - c.pixels.top, hwnd_,
                              reinterpret_cast<HMENU>(static_cast<std::intptr_t>(kFirstControlId + id)),
                              platform_.instance(), nullptr);
    if (c.child == nullptr) throw Failure("cannot create control");
    if (!l.font.family.empty()) {
      // Points to pixels through twips: 8.25 pt is 165 twips, 11 pixels at 96 DPI.
      const int height = -toPixels(static_cast<float>(l.font.points * 20.0), tppY);
      const std::wstring face = widen(l.font.family);
      c.font = CreateFontW(height, 0, 0, 0, l.font.bold ? FW_BOLD : FW_NORMAL, l.font.italic ? TRUE : FALSE,
                           FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, face.c_str());
      if (c.font) SendMessageW(c.child, WM_SETFONT, reinterpret_cast<WPARAM>(c.font), FALSE);
    }
    if (l.backColour != kSystemColour) c.brush = CreateSolidBrush(static_cast<COLORREF>(l.backColour));
  }
}

Win32Window::Control& Win32Window::control(int controlId) {
  if (controlId < 0 || static_cast<std::size_t>(controlId) >= controls_.size()) throw Failure("no such control");
  return controls_[static_cast<std::size_t>(controlId)];
}

const Win32Window::Control& Win32Window::control(int controlId) const {
  if (controlId < 0 || static_cast<std::size_t>(controlId) >= controls_.size()) throw Failure("no such control");
  return controls_[static_cast<std::size_t>(controlId)];
}

Win32Window::Control* Win32Window::controlOf(HWND child) {
  if (child == nullptr) return nullptr;
  for (Control& c : controls_)
    if (c.child == child) return &c;
  return nullptr;
}

int Win32Window::firstTabStop() const {
  int best = -1;
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const Control& c = controls_[i];
    if (c.child == nullptr || c.layout->kind == ControlKind::Label || !c.visible) continue;
    if (best < 0 || c.layout->tabIndex < controls_[static_cast<std::size_t>(best)].layout->tabIndex)
      best = static_cast<int>(i);
  }
  return best;
}

// The picture on top at a point of the client area: later controls lie above
// earlier ones.
int Win32Window::pictureAt(POINT client) const {
  for (std::size_t i = controls_.size(); i-- > 0;) {
    const Control& c = controls_[i];
    if (c.layout->kind == ControlKind::Picture && c.visible && PtInRect(&c.pixels, client)) return static_cast<int>(i);
  }
  return -1;
}

PixelRect Win32Window::rect() const {
  RECT r{};
  if (!GetWindowRect(hwnd_, &r)) throw Failure("GetWindowRect");
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void Win32Window::move(int x, int y) {
  if (!SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE))
    throw Failure("move");
}

void Win32Window::resize(int width, int height) {
  if (!SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
    throw Failure("resize");
}

void Win32Window::show() {
  if (!framed()) {
    ShowWindow(hwnd_, SW_SHOWNA);
    return;
  }
  ShowWindow(hwnd_, SW_SHOW);
  // Shown again while it is already up: it comes to the front all the same.
  SetForegroundWindow(hwnd_);
  const int first = firstTabStop();
  if (first >= 0) SetFocus(controls_[static_cast<std::size_t>(first)].child);
}

void Win32Window::setBackColour(Colour colour) {
  backColour_ = colour;
  InvalidateRect(hwnd_, nullptr, FALSE);
}

std::int32_t Win32Window::getWindowLong(int index) {
  SetLastError(0);
  const LONG value = GetWindowLongW(hwnd_, index);
  if (value == 0 && GetLastError() != 0) throw Failure("GetWindowLong");
  return value;
}

void Win32Window::setWindowLong(int index, std::int32_t value) {
  SetLastError(0);
  if (SetWindowLongW(hwnd_, index, value) == 0 && GetLastError() != 0) throw Failure("SetWindowLong");
}

void Win32Window::setLayeredWindowAttributes(Colour key, std::uint8_t alpha, std::uint32_t flags) {
  if (!SetLayeredWindowAttributes(hwnd_, static_cast<COLORREF>(key), alpha, flags))
    throw Failure("SetLayeredWindowAttributes");
}

void Win32Window::setWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy, std::uint32_t flags) {
  if (!SetWindowPos(hwnd_, reinterpret_cast<HWND>(insertAfter), x, y, cx, cy, flags)) throw Failure("SetWindowPos");
}

void Win32Window::giveFocus() {
  // Ticks call this ten times a second. Taking the focus from another
  // program, the control panel or an open message box would swallow what the
  // user types, so only a pet that is already the active window takes it.
  if (GetForegroundWindow() == hwnd_ && GetFocus() != hwnd_) SetFocus(hwnd_);
}

void Win32Window::releaseCapture() {
  if (!ReleaseCapture()) throw Failure("ReleaseCapture");
}

void Win32Window::dragMove() {
  // The move the system starts for a press on a title bar: its own loop
  // follows the pointer and returns when the button comes up. Timer messages
  // are dispatched inside it, so ticks go on, and they read the window's
  // rectangle anew. WM_SYSCOMMAND SC_MOVE + HTCAPTION is what DefWindowProc
  // does with WM_NCLBUTTONDOWN on HTCAPTION, without its first step, which
  // activates the window: the pet takes no activation, and under Wine an
  // activated pet turns into a window-manager-managed X window in the middle
  // of the press and the move loop never sees the release.
  POINT at{};
  GetCursorPos(&at);
  struct Moving {
    Moving(Win32Platform& platform, HWND hwnd) : platform_(platform), previous_(platform.moving()) {
      platform_.setMoving(hwnd);
    }
    ~Moving() { platform_.setMoving(previous_); }
    Win32Platform& platform_;
    HWND previous_;
  } moving(platform_, hwnd_);
  SendMessageW(hwnd_, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, MAKELPARAM(at.x, at.y));
}

void Win32Window::setControlVisible(int controlId, bool visible) {
  Control& c = control(controlId);
  if (c.visible == visible) return;  // ticks set the facing ten times a second
  c.visible = visible;
  if (c.child != nullptr) {
    ShowWindow(c.child, visible ? SW_SHOWNA : SW_HIDE);
  } else {
    RECT dirty = c.pixels;
    if (c.layout->kind == ControlKind::Line) dirty = {};  // whole window: the end points need not be ordered
    InvalidateRect(hwnd_, c.layout->kind == ControlKind::Line ? nullptr : &dirty, FALSE);
  }
}

bool Win32Window::controlVisible(int controlId) const { return control(controlId).visible; }

std::string Win32Window::text(int controlId) const {
  const Control& c = control(controlId);
  if (c.child == nullptr) return c.text;
  const int length = GetWindowTextLengthW(c.child);
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(c.child, buffer.data(), length + 1);
  buffer.resize(static_cast<std::size_t>(std::max(got, 0)));
  return narrow(buffer);
}

void Win32Window::setText(int controlId, const std::string& value) {
  Control& c = control(controlId);
  if (c.child == nullptr) {
    c.text = value;
    return;
  }
  const std::wstring wide = widen(value);
  if (!SetWindowTextW(c.child, wide.c_str())) throw Failure("SetWindowText");
}

void Win32Window::setTimerEnabled(int timerId, bool enabled) {
  if (timerId < 1 || static_cast<std::size_t>(timerId) > timers_.size()) throw Failure("no such timer");
  const auto index = static_cast<std::size_t>(timerId - 1);
  // Enabling a running timer leaves its rhythm alone.
  if (timers_[index] == enabled) return;
  if (enabled) {
    const int interval = layout_.timers[index].intervalMs;
    if (interval <= 0 || !SetTimer(hwnd_, static_cast<UINT_PTR>(timerId), static_cast<UINT>(interval), nullptr))
      throw Failure("SetTimer");
  } else {
    KillTimer(hwnd_, static_cast<UINT_PTR>(timerId));
  }
  timers_[index] = enabled;
}

bool Win32Window::timerEnabled(int timerId) const {
  if (timerId < 1 || static_cast<std::size_t>(timerId) > timers_.size()) throw Failure("no such timer");
  return timers_[static_cast<std::size_t>(timerId - 1)];
}

LRESULT CALLBACK Win32Window::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->handleMessage(message, wParam, lParam);
}

LRESULT Win32Window::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel, in one go, without flicker
    case WM_PAINT:
      paint();
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      return controlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), message);
    case WM_SETCURSOR:
      if (setCursorFor(reinterpret_cast<HWND>(wParam), lParam)) return TRUE;
      break;
    case WM_MOUSEACTIVATE:
      // The pet takes no activation from a press; a left press starts the
      // move loop, and the panel activates itself when it is shown.
      if (!framed()) return MA_NOACTIVATE;
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      const int id = pictureAt(at);
      if (id < 0) break;
      const int button = message == WM_LBUTTONDOWN   ? static_cast<int>(MouseButton::Left)
                         : message == WM_RBUTTONDOWN ? static_cast<int>(MouseButton::Right)
                                                     : static_cast<int>(MouseButton::Middle);
      events_.mouseDown(id, button);
      return 0;
    }
    case WM_COMMAND: {
      const int code = HIWORD(wParam);
      const int id = static_cast<int>(LOWORD(wParam));
      if (id == IDOK) {
        // Return in the panel: the focused button is pressed.
        Control* focused = controlOf(GetFocus());
        if (focused != nullptr && focused->layout->kind == ControlKind::Button) {
          events_.click(static_cast<int>(focused - controls_.data()));
        }
        return 0;
      }
      const int index = id - kFirstControlId;
      if (index < 0 || static_cast<std::size_t>(index) >= controls_.size()) break;
      const ControlKind kind = controls_[static_cast<std::size_t>(index)].layout->kind;
      // BN_CLICKED and STN_CLICKED are both 0.
      if (code == BN_CLICKED && (kind == ControlKind::Button || kind == ControlKind::Label)) {
        events_.click(index);
      }
      return 0;
    }
    case WM_TIMER: {
      const int id = static_cast<int>(wParam);
      if (platform_.ticksHeld()) return 0;
      if (id >= 1 && static_cast<std::size_t>(id) <= timers_.size() && timers_[static_cast<std::size_t>(id - 1)]) {
        events_.timer(id);
      }
      return 0;
    }
    case WM_QUERYENDSESSION:
      return TRUE;  // the program never holds up a logout
    case WM_ENDSESSION:
      // Every top-level window hears it; the first one ends the program.
      if (wParam) platform_.endSession();
      return 0;
    case WM_CLOSE:
      // A request only: the program decides whether the window goes.
      events_.closeRequested();
      return 0;
    case WM_ACTIVATE:
      if (!framed()) break;
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (controlOf(focus) != nullptr) lastFocus_ = focus;
      } else {
        HWND target = lastFocus_;
        if (controlOf(target) == nullptr) {
          const int first = firstTabStop();
          target = first >= 0 ? controls_[static_cast<std::size_t>(first)].child : hwnd_;
        }
        SetFocus(target);
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Win32Window::paint() {
  PAINTSTRUCT ps{};
  HDC target = BeginPaint(hwnd_, &ps);
  if (target == nullptr) return;
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int width = client.right;
  const int height = client.bottom;
  if (width > 0 && height > 0) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateDIBSection(target, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory != nullptr && bitmap != nullptr && bits != nullptr) {
      HGDIOBJ previous = SelectObject(memory, bitmap);
      auto* pixels = static_cast<std::uint32_t*>(bits);
      const std::uint32_t back = dibPixel(static_cast<COLORREF>(backColour_ & 0x00FFFFFFu));
      std::fill(pixels, pixels + static_cast<std::size_t>(width) * static_cast<std::size_t>(height), back);
      // Pictures: only their opaque pixels; a GIF's transparent pixels show
      // the window's background, the key colour on the pet.
      for (const Control& c : controls_) {
        if (c.layout->kind != ControlKind::Picture || !c.visible) continue;
        const Image& image = c.picture;
        for (int y = 0; y < image.height; ++y) {
          const int ty = c.pixels.top + y;
          if (ty < 0 || ty >= height) continue;
          for (int x = 0; x < image.width; ++x) {
            const int tx = c.pixels.left + x;
            if (tx < 0 || tx >= width) continue;
            const auto from = static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                              static_cast<std::size_t>(x);
            if (image.opaque[from])
              pixels[static_cast<std::size_t>(ty) * static_cast<std::size_t>(width) + static_cast<std::size_t>(tx)] =
                  image.rgb[from];
          }
        }
      }
      GdiFlush();
      for (const Control& c : controls_) {
        if (c.layout->kind != ControlKind::Line || !c.visible) continue;
        HPEN pen = CreatePen(PS_SOLID, 1, systemOr(c.layout->foreColour, COLOR_WINDOWTEXT));
        HGDIOBJ oldPen = SelectObject(memory, pen);
        MoveToEx(memory, c.pixels.left, c.pixels.top, nullptr);
        LineTo(memory, c.pixels.right, c.pixels.bottom);
        // LineTo leaves out its last point; the line reaches it.
        SetPixel(memory, c.pixels.right, c.pixels.bottom, systemOr(c.layout->foreColour, COLOR_WINDOWTEXT));
        SelectObject(memory, oldPen);
        DeleteObject(pen);
      }
      BitBlt(target, 0, 0, width, height, memory, 0, 0, SRCCOPY);
      SelectObject(memory, previous);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (memory != nullptr) DeleteDC(memory);
  }
  EndPaint(hwnd_, &ps);
}

LRESULT Win32Window::controlColour(HDC dc, HWND child, UINT message) {
  Control* c = controlOf(child);
  if (c == nullptr) return DefWindowProcW(hwnd_, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child));
  // A read-only field asks with WM_CTLCOLORSTATIC but keeps a field's colours.
  const bool field = c->layout->kind == ControlKind::TextField;
  const int textIndex = field ? COLOR_WINDOWTEXT : COLOR_BTNTEXT;
  const int backIndex = field ? COLOR_WINDOW : COLOR_BTNFACE;
  SetTextColor(dc, systemOr(c->layout->foreColour, textIndex));
  SetBkColor(dc, systemOr(c->layout->backColour, backIndex));
  SetBkMode(dc, OPAQUE);
  return reinterpret_cast<LRESULT>(c->brush != nullptr ? c->brush : GetSysColorBrush(backIndex));
}

bool Win32Window::setCursorFor(HWND target, LPARAM lParam) {
  if (LOWORD(lParam) != HTCLIENT) return false;
  if (target == hwnd_) {
    POINT at{};
    GetCursorPos(&at);
    ScreenToClient(hwnd_, &at);
    const int id = pictureAt(at);
    const Pointer pointer = id >= 0 ? controls_[static_cast<std::size_t>(id)].layout->pointer : Pointer::Arrow;
    SetCursor(pointerCursor(platform_.instance(), pointer));
    return true;
  }
  Control* c = controlOf(target);
  if (c == nullptr || c->layout->pointer == Pointer::Arrow) return false;
  SetCursor(pointerCursor(platform_.instance(), c->layout->pointer));
  return true;
}

}  // namespace guizzolo::win32
