// <windows.h> for the platform layer, always after the platform interface.
// platform/platform.h declares a few window-system values under their
// Windows names (win::GWL_EXSTYLE, win::HWND_TOPMOST, win::MB_ICONHAND, ...);
// <windows.h> defines the same names as macros, which would rewrite those
// declarations if it came first. Once the interface is parsed the macros do
// no harm, since this layer uses the Windows values directly.
#pragma once

// clang-format off
#include "platform/platform.h"
#include <windows.h>
// clang-format on
