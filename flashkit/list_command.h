#pragma once

#include <cstdio>

#include "platform/device_system.h"

namespace flashkit::rack {

// flashkit list: the serial ports and the USB board entries present, as a
// table for a person or, with `json`, one object for a program.
void ListBoards(std::FILE* out, platform::DeviceSystem& system, bool json);

}  // namespace flashkit::rack
