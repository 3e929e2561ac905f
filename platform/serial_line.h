#pragma once

#include <cstdint>
#include <string>

#include "platform/device_system.h"
#include "platform/fd_device.h"

namespace flashkit::platform {

// Opens the terminal at `path` for reading and writing, exclusively (another
// holder gives kAccessDenied, root included), in raw mode. A node that is not
// a terminal gives kOther. `write_stall_ms` bounds how long a write waits for a
// line that takes nothing.
Opened<SerialLine> OpenSerialLine(const std::string& path,
                                  uint32_t write_stall_ms = FdDevice::kWriteStallMs);

}  // namespace flashkit::platform
