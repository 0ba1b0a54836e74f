// The program's message boxes: modal, above every window, and never taking
// the keyboard from another program the user is working in.
#pragma once

#include "platform/win32/win_api.h"

#include <string>

namespace guizzolo::win32 {

// True when the foreground window belongs to another process. Without one
// (no foreground, the desktop, the shell), nobody's keyboard is at stake.
bool foregroundIsAnotherProgram();

// MessageBoxW for the program: task-modal and topmost. While another
// program has the foreground the box comes up without activation and takes
// the keyboard only when the user clicks it; otherwise it comes up active,
// so Return answers it. Returns MessageBoxW's result (0 on failure).
int showMessageBox(const std::wstring& text, const std::wstring& caption, UINT style);

}  // namespace guizzolo::win32
