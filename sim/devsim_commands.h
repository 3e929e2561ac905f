#pragma once

#include "sim/board.h"
#include "sim/devsim_options.h"
#include "sim/event_log.h"

namespace flashkit::sim {

// Each runs its device until it is told to stop and returns the exit
// status: 0 after a clean stop, 1 when setting up or running failed.
int RunBoard(const DevsimOptions& options, EventLog& events);
int RunUsbBoard(const DevsimOptions& options, EventLog& events);
int RunWire(const DevsimOptions& options, EventLog& events);
int RunMcu(const DevsimOptions& options, EventLog& events);
int RunUsbFramed(const DevsimOptions& options, EventLog& events);

// What the board options ask of either kind of board.
BoardSettings BoardSettingsFrom(const DevsimOptions& options);

}  // namespace flashkit::sim
