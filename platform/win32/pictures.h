// The pictures, pointers and icon compiled into the executable.
#pragma once

#include "platform/win32/win_api.h"

#include "platform/platform.h"
#include "platform/image/image.h"

namespace guizzolo::win32 {

using image::Image;
using image::scaledNearest;

// The picture as decoded from its GIF resource; an empty image for None.
// Failure when the resource is missing or damaged.
const Image& sourcePicture(HINSTANCE instance, Picture picture);

// The system arrow for Pointer::Arrow.
HCURSOR pointerCursor(HINSTANCE instance, Pointer pointer);

// The program icon at the given pixel size (the panel's title bar and Alt+Tab).
HICON programIcon(HINSTANCE instance, int size);

}  // namespace guizzolo::win32
