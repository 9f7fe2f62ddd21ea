#pragma once

// The Windows API as every Windows side of the program includes it: without the min and max macros, which would
// take the place of std::min and std::max, and without the rarely used parts, which slow the build.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
