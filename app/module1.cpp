#include "app/module1.h"

#include "app/form.h"

namespace guizzolo {

void SetTopMost(Form& window, std::int16_t onTop) {
  std::intptr_t insertAfter = 0;
  if (onTop == kTrue) {
    insertAfter = win::kHwndTopMost;
  } else if (onTop == kFalse) {
    insertAfter = win::kHwndNoTopMost;
  } else {
    return;
  }
  Window& hwnd = window.hWnd();
  Platform& display = window.runtime();
  const int x = ToPixels(window.Left(), display.twipsPerPixelX());
  const int y = ToPixels(window.Top(), display.twipsPerPixelY());
  const int cx = ToPixels(window.Width(), display.twipsPerPixelX());
  const int cy = ToPixels(window.Height(), display.twipsPerPixelY());
  // No activation: the pet is re-placed ten times a second and must never
  // take the keyboard from the program the user is typing in.
  hwnd.setWindowPos(insertAfter, x, y, cx, cy, win::kSwpShowWindow | win::kSwpNoActivate);
}

}  // namespace guizzolo
