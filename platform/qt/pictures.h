// The panel's pointer and icon, compiled into the module.
#pragma once

#include <QCursor>
#include <QIcon>

#include "platform/platform.h"

namespace guizzolo::qt {

QCursor pointerCursor(Pointer pointer);
QIcon panelIcon();

}  // namespace guizzolo::qt
