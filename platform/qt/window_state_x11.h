// What the window manager is told directly over X11, where Qt has no call
// for it. Every function does nothing (or answers nothing) when the program
// does not run on X11 (offscreen, Wayland without XWayland).
#pragma once

#include <optional>

class QWidget;

namespace guizzolo::qt::x11 {

// Leaves the shown window out of the taskbar and the pager (_NET_WM_STATE
// SKIP_TASKBAR and SKIP_PAGER). A window manager forgets these states when
// the window is hidden, so this follows every show.
void skipTaskbarAndPager(QWidget* window);

// Sends the requests queued for the X server now, without waiting.
void flush();

// Whether the left button is down now, as the X server sees it.
std::optional<bool> leftButtonDown();

}  // namespace guizzolo::qt::x11
