// The pointer-driven move of a window, started by a press of the left
// button: the window follows the pointer until the button is released.
#pragma once

#include <QPoint>

class QWidget;

namespace guizzolo::qt {

// Keeps the window's top-left corner at (pointer - grabOffset) and returns
// when the left button is released (at once if it is not down). Events,
// timer ticks included, are handled meanwhile; a tick that moves the window
// is overruled by the next pointer move.
void followPointerUntilRelease(QWidget* window, QPoint grabOffset);

}  // namespace guizzolo::qt
