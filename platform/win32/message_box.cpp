#include "platform/win32/message_box.h"

#include <cwchar>

namespace guizzolo::win32 {
namespace {

// One box at a time per thread: ticks are held while a box is open.
struct BoxState {
  bool quiet = false;  // comes up without taking the keyboard
  HWND dialog = nullptr;
  WNDPROC dialogProc = nullptr;
  HHOOK events = nullptr;
  HHOOK presses = nullptr;
  DWORD shownAt = 0;  // tick count when the box opened
};
thread_local BoxState box;

bool isDialogBox(HWND hwnd) {
  wchar_t name[16] = {};
  return GetClassNameW(hwnd, name, 16) > 0 && std::wcscmp(name, L"#32770") == 0;
}

// From now on an ordinary box: active, with the keyboard.
void wake() {
  box.quiet = false;
  SetWindowLongPtrW(box.dialog, GWL_EXSTYLE, GetWindowLongPtrW(box.dialog, GWL_EXSTYLE) & ~WS_EX_NOACTIVATE);
}

// A person pressing on the box: the pointer is on it, and it has been up
// long enough to be seen.
bool pressedByTheUser() {
  POINT at{};
  return GetTickCount() - box.shownAt >= 250 && GetCursorPos(&at) &&
         GetAncestor(WindowFromPoint(at), GA_ROOT) == box.dialog;
}

// The box shows itself and enters the topmost band through SetWindowPos calls
// that activate; a quiet box makes them without activation. Under Wine an
// activating call hands the foreground over before any hook is asked, and
// the other program's keystrokes would go nowhere. Wine also asks the box, as
// a click would, whether it takes the focus that the window manager offers:
// a quiet box declines, unless the offer comes from the user's press on it.
LRESULT CALLBACK quietDialog(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (box.quiet && message == WM_WINDOWPOSCHANGING) reinterpret_cast<WINDOWPOS*>(lParam)->flags |= SWP_NOACTIVATE;
  if (box.quiet && message == WM_MOUSEACTIVATE) {
    if (!pressedByTheUser()) return MA_NOACTIVATE;
    wake();
  }
  return CallWindowProcW(box.dialogProc, hwnd, message, wParam, lParam);
}

// A quiet box is created as a window that takes no activation (a window
// manager then has no reason to hand it the focus as it maps), and refuses
// the activations it asks for itself (setting the focus to its button).
LRESULT CALLBACK onBoxEvent(int code, WPARAM wParam, LPARAM lParam) {
  HWND hwnd = reinterpret_cast<HWND>(wParam);
  if (box.quiet && code == HCBT_CREATEWND && box.dialog == nullptr && isDialogBox(hwnd)) {
    box.dialog = hwnd;
    SetWindowLongPtrW(hwnd, GWL_EXSTYLE, GetWindowLongPtrW(hwnd, GWL_EXSTYLE) | WS_EX_NOACTIVATE);
    box.dialogProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&quietDialog)));
  }
  if (box.quiet && code == HCBT_ACTIVATE && hwnd == box.dialog) return 1;
  return CallNextHookEx(box.events, code, wParam, lParam);
}

// The user presses a button of the mouse on the quiet box: it becomes an
// ordinary box and takes the foreground, which the press entitles it to.
LRESULT CALLBACK onPress(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && box.quiet && box.dialog != nullptr) {
    const auto* mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
    const bool press = wParam == WM_LBUTTONDOWN || wParam == WM_RBUTTONDOWN || wParam == WM_MBUTTONDOWN ||
                       wParam == WM_NCLBUTTONDOWN || wParam == WM_NCRBUTTONDOWN || wParam == WM_NCMBUTTONDOWN;
    if (press && mouse != nullptr && GetAncestor(mouse->hwnd, GA_ROOT) == box.dialog) {
      wake();
      SetForegroundWindow(box.dialog);
    }
  }
  return CallNextHookEx(box.presses, code, wParam, lParam);
}

struct BoxGuard {
  explicit BoxGuard(bool quiet) {
    box = BoxState{};
    box.quiet = quiet;
    box.shownAt = GetTickCount();
    if (!quiet) return;
    box.events = SetWindowsHookExW(WH_CBT, &onBoxEvent, nullptr, GetCurrentThreadId());
    box.presses = SetWindowsHookExW(WH_MOUSE, &onPress, nullptr, GetCurrentThreadId());
  }
  ~BoxGuard() {
    if (box.events != nullptr) UnhookWindowsHookEx(box.events);
    if (box.presses != nullptr) UnhookWindowsHookEx(box.presses);
    box = BoxState{};
  }
  BoxGuard(const BoxGuard&) = delete;
  BoxGuard& operator=(const BoxGuard&) = delete;
};

}  // namespace

bool foregroundIsAnotherProgram() {
  HWND foreground = GetForegroundWindow();
  if (foreground == nullptr || foreground == GetDesktopWindow() || foreground == GetShellWindow()) return false;
  DWORD process = 0;
  GetWindowThreadProcessId(foreground, &process);
  return process != 0 && process != GetCurrentProcessId();
}

int showMessageBox(const std::wstring& text, const std::wstring& caption, UINT style) {
  const bool quiet = foregroundIsAnotherProgram();
  // Task-modal: the program's own windows take no input until it is answered.
  // Topmost, or it would open behind the pet, which sits in the topmost band.
  UINT flags = MB_OK | style | MB_TASKMODAL | MB_TOPMOST;
  if (!quiet) flags |= MB_SETFOREGROUND;
  BoxGuard guard(quiet);
  return MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags);
}

}  // namespace guizzolo::win32
