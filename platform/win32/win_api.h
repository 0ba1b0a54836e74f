// <windows.h> for the platform layer, in one place.
#pragma once

#include <windows.h>
