#pragma once

#include <cstdint>
#include <string>

#include "platform/device_system.h"
#include "platform/fd_device.h"
#include "platform/low_latency.h"

namespace flashkit::platform {

// Opens the terminal at `path` for reading and writing, exclusively (another
// holder gives kAccessDenied, root included), in raw mode. A node that is not
// a terminal gives kOther. `write_stall_ms` bounds how long a write waits for a
// line that takes nothing. The driver is asked for low latency while the line
// is open.
Opened<SerialLine> OpenSerialLine(const std::string& path,
                                  uint32_t write_stall_ms = FdDevice::kWriteStallMs,
                                  SerialDriver& driver = RealSerialDriver());

// Why a serial line named by its path did not open, in words a person acts
// on: "no such device", "it is a folder, not a serial port"...
std::string SerialOpenFailureText(const SysStatus& status);

}  // namespace flashkit::platform
