#pragma once

#include <cstdint>

#include "common/crc16_table.h"
#include "console/console_context.h"
#include "platform/device_system.h"

namespace flashkit {

// Everything one run of linkxfer works with.
struct RunContext {
  ConsoleContext console;
  platform::DeviceSystem& system;
  const Crc16Table& crc;
};

// Parses the command line, opens the port, runs the jobs and closes the port.
// Returns the exit status: 0, 1 after a command-line error, or the negative
// status of the failure.
int32_t RunLinkxfer(RunContext& context, int argc, const char* const argv[]);

}  // namespace flashkit
