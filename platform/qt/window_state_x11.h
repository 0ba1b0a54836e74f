// What the window manager is told directly over X11, where Qt has no call
// for it. Every function does nothing when the program
// does not run on X11 (offscreen, Wayland without XWayland).
#pragma once

#include <QWidget>

namespace guizzolo::qt::x11 {

// Leaves the shown window out of the taskbar and the pager (_NET_WM_STATE
// SKIP_TASKBAR and SKIP_PAGER). A window manager forgets these states when
// the window is hidden, so this follows every show.
void skipTaskbarAndPager(QWidget* window);

// Sends the requests queued for the X server now, without waiting.
void flush();

// A framed panel with a close box only: no minimise nor maximise button,
// for window managers that read the Motif hints or the window type. Qt
// writes its own hints whenever the window's flags change, so this follows
// every flag change and comes before every map.
void closeBoxOnly(QWidget* window);

// A dialog's window type, for a window that Qt made a plain one so that it
// names no unmapped window as its parent (WM_TRANSIENT_FOR).
void dialogType(QWidget* window);

}  // namespace guizzolo::qt::x11
