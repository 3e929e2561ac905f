#pragma once

// The Windows API as the platform files use it: no min/max macros, and
// without the macros that would rename names of ours (CreateEvent,
// TextOut) in a file that includes both.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#undef CreateEvent
#undef TextOut
