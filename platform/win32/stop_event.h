#pragma once

#include "platform/win32/windows_api.h"

namespace flashkit::platform {

// Set once the console asks the program to stop (Ctrl-C, Ctrl-Break, the
// window closing); every sleep and wait of the platform also waits on it, as
// a stop signal interrupts them on Linux. Exists from the first call on.
HANDLE StopEvent();

}  // namespace flashkit::platform
