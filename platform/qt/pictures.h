// The pictures, pointers and icon compiled into the program.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QSize>

#include "platform/platform.h"

namespace guizzolo::qt {

// The picture as decoded, 32-bit with alpha; a null image for Picture::None.
QImage loadPicture(Picture picture);

// Scaled to the size by taking the nearest source pixel: no new colour is
// ever made, so no pixel mixes the fish's outline with the background (a
// smooth scaling would leave a fringe of the key colour around the fish).
QImage scaledNearest(const QImage& image, QSize size);

QCursor pointerCursor(Pointer pointer);
QIcon panelIcon();

}  // namespace guizzolo::qt
