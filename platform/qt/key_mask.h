// Colour-keyed transparency on a window system without per-window colour
// keys: the window is shaped to the pixels that are not the key colour, so
// key-coloured pixels are neither drawn nor take the pointer.
#pragma once

#include <QImage>
#include <QRegion>

namespace guizzolo::qt {

// Every pixel of the drawn picture whose colour differs from the key.
QRegion pixelsOtherThan(const QImage& drawn, QRgb key);

// A shape for a window that shows nothing. Qt takes an empty region for "no
// shape at all", which would show the whole window; a region that covers no
// pixel of the window hides all of it.
QRegion nothingVisible();

}  // namespace guizzolo::qt
