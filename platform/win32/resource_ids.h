// Resource numbers shared by NuvoNuvo.rc and the code that loads them.
#pragma once

// The first icon in the file is the program's icon in Explorer.
#define IDI_PROGRAM 1
#define IDR_FISH_LEFT 101
#define IDR_FISH_RIGHT 102
#define IDC_GRAB_HAND 201
#define IDC_POINT_HAND 202
