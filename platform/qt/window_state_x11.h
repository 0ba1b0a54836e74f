// What the window manager is told directly over X11, where Qt has no call
// for it. Every function does nothing (or answers nothing) when the program
// does not run on X11 (offscreen, Wayland without XWayland).
#pragma once

#include <QPointer>
#include <QWidget>
#include <optional>


namespace guizzolo::qt::x11 {

// Leaves the shown window out of the taskbar and the pager (_NET_WM_STATE
// SKIP_TASKBAR and SKIP_PAGER). A window manager forgets these states when
// the window is hidden, so this follows every show.
void skipTaskbarAndPager(QWidget* window);

// Sends the requests queued for the X server now, without waiting.
void flush();

// Whether the left button is down now, as the X server sees it.
std::optional<bool> leftButtonDown();

// A framed panel with a close box only: no minimise nor maximise button,
// for window managers that read the Motif hints or the window type. Qt
// writes its own hints whenever the window's flags change, so this follows
// every flag change and comes before every map.
void closeBoxOnly(QWidget* window);

// A dialog's window type, for a window that Qt made a plain one so that it
// names no unmapped window as its parent (WM_TRANSIENT_FOR).
void dialogType(QWidget* window);

// Whether a raise of the window can change anything: some other top-level
// window has been mapped or restacked since the window was last raised.
// Raising ten times a second would otherwise cost the window manager a
// restack each time. Without X11 (or before the window exists) every raise
// is taken as needed.
class RaiseTracker {
 public:
  explicit RaiseTracker(QWidget* window);
  ~RaiseTracker();
  RaiseTracker(const RaiseTracker&) = delete;
  RaiseTracker& operator=(const RaiseTracker&) = delete;

  bool needed() const;
  // Call after a raise has been sent.
  void raised();
  // The next raise goes out whatever happened (shown again, band changed).
  void invalidate() { stale_ = true; }

  // For the watcher of the X events.
  unsigned long clientId() const;
  unsigned long frame_ = 0;  // the window manager's frame, or the window itself
  bool stale_ = true;

 private:
  QPointer<QWidget> window_;
  bool watched_ = false;
};

}  // namespace guizzolo::qt::x11
