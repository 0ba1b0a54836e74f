// The fish pictures compiled into the executable, decoded the first time a
// window asks for one.
#pragma once

#include "platform/image/image.h"
#include "platform/platform.h"

namespace guizzolo::x11 {

// Failure when the picture cannot be decoded; Picture::None is empty.
const image::Image& fishPicture(Picture which);

}  // namespace guizzolo::x11
