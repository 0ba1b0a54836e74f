// A top-level window built from a layout: the pet (borderless, painted by
// us) or the control panel (a fixed tool window with child controls).
#pragma once

#include "platform/win32/win_api.h"

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/image/image.h"

namespace guizzolo::win32 {

using image::Image;

class Win32Platform;

class Win32Window final : public Window {
 public:
  Win32Window(Win32Platform& platform, const WindowLayout& layout, WindowEvents& events);
  ~Win32Window() override;
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  PixelRect rect() const override;
  void move(int x, int y) override;
  void resize(int width, int height) override;
  void show() override;
  void setBackColour(Colour colour) override;
  std::int32_t getWindowLong(int index) override;
  void setWindowLong(int index, std::int32_t value) override;
  void setLayeredWindowAttributes(Colour key, std::uint8_t alpha, std::uint32_t flags) override;
  void setWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy, std::uint32_t flags) override;
  void giveFocus() override;
  void releaseCapture() override;
  void dragMove() override;
  void setControlVisible(int controlId, bool visible) override;
  bool controlVisible(int controlId) const override;
  std::string text(int controlId) const override;
  void setText(int controlId, const std::string& text) override;
  void setTimerEnabled(int timerId, bool enabled) override;
  bool timerEnabled(int timerId) const override;

  HWND handle() const { return hwnd_; }
  bool framed() const { return layout_.style == WindowStyle::FixedToolWindow; }

  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static const wchar_t* className();

 private:
  struct Control {
    const ControlLayout* layout = nullptr;
    RECT pixels{};          // in the client area; for a line, its two end points
    HWND child = nullptr;   // labels, text fields and buttons
    HFONT font = nullptr;
    HBRUSH brush = nullptr;  // owned; nullptr when the system's own colour is used
    bool visible = false;
    std::string text;       // pictures and lines have no window to keep it
    Image picture;          // already scaled to the control
  };

  void createControls();
  Control& control(int controlId);
  const Control& control(int controlId) const;
  Control* controlOf(HWND child);
  int firstTabStop() const;
  int pictureAt(POINT client) const;

  // Each handler that hands an event to the program returns right after it:
  // the program may destroy this window inside the handler.
  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void paint();
  LRESULT controlColour(HDC dc, HWND child, UINT message);
  bool setCursorFor(HWND target, LPARAM lParam);

  Win32Platform& platform_;
  const WindowLayout& layout_;
  WindowEvents& events_;
  HWND hwnd_ = nullptr;
  Colour backColour_;
  std::vector<Control> controls_;
  std::vector<bool> timers_;  // index = timer id - 1
  HWND lastFocus_ = nullptr;  // restored when the panel is activated again
};

}  // namespace guizzolo::win32
