#include "platform/win32/message_box.h"

#include <cwchar>

namespace guizzolo::win32 {
namespace {

thread_local HHOOK activationHook = nullptr;

bool isDialogBox(HWND hwnd) {
  wchar_t name[16] = {};
  return GetClassNameW(hwnd, name, 16) > 0 && std::wcscmp(name, L"#32770") == 0;
}

// Every activation of the box passes here: the box's own (at creation and
// show) is refused while another program has the foreground; one that comes
// from a click on the box is the user's and goes through.
LRESULT CALLBACK onActivation(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const auto* how = reinterpret_cast<const CBTACTIVATESTRUCT*>(lParam);
    const bool byClick = how != nullptr && how->fMouse;
    if (!byClick && isDialogBox(reinterpret_cast<HWND>(wParam)) && foregroundIsAnotherProgram()) return 1;
  }
  return CallNextHookEx(activationHook, code, wParam, lParam);
}

struct ActivationGuard {
  ActivationGuard() : previous(activationHook) {
    activationHook = SetWindowsHookExW(WH_CBT, &onActivation, nullptr, GetCurrentThreadId());
  }
  ~ActivationGuard() {
    if (activationHook != nullptr) UnhookWindowsHookEx(activationHook);
    activationHook = previous;
  }
  ActivationGuard(const ActivationGuard&) = delete;
  ActivationGuard& operator=(const ActivationGuard&) = delete;
  HHOOK previous;
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
  // Task-modal: the program's own windows take no input until it is answered.
  // Topmost, or it would open behind the pet, which sits in the topmost band.
  UINT flags = MB_OK | style | MB_TASKMODAL | MB_TOPMOST;
  if (!foregroundIsAnotherProgram()) flags |= MB_SETFOREGROUND;
  ActivationGuard guard;
  return MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags);
}

}  // namespace guizzolo::win32
