#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/device.h"
#include "sim/line_end.h"

namespace flashkit::sim {

// How a line end moves bytes through a device that never waits (a
// pseudo-terminal master, an accepted pipe connection).

// Appends what the program on the far side has written, as one entry that
// enters the line when the pump takes it; false when the device failed or
// the program hung up.
bool TakeWaiting(platform::Device& from, std::vector<EnteredBytes>& out);

// Hands over what fits at once: the count taken, or -1 on failure.
long GiveAtOnce(platform::Device& to, std::span<const uint8_t> bytes);

}  // namespace flashkit::sim
