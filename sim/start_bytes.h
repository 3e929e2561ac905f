#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/clock.h"
#include "ports/port.h"
#include "sim/event_log.h"
#include "sim/request_listener.h"

namespace flashkit::sim {

// Over USB the host follows its request with exactly this many "1" bytes,
// 10 ms apart, and reads no answer to them.
inline constexpr int kUsbStartBytes = 10;
// Then it sleeps 10 ms and throws away whatever has arrived before it waits
// for the receiver's start character: a 'C' sent sooner would be lost, and
// the receiver would ask again only after its block time-out. Once the host
// has been quiet this long, it is waiting.
inline constexpr uint32_t kStartQuietMs = 30;
// How long the start bytes may take to come, and then to stop coming.
inline constexpr uint32_t kStartBytesWaitMs = 10000;

enum class StartBytesOutcome { kDone, kWrongByte, kTimedOut, kStopped };

// A USB board's second step: take the start bytes without answering them
// and wait for the quiet that follows. `leftover` holds the bytes that came
// with the request. Bytes after the tenth are dropped: nothing the host
// sends before the start character belongs to the transfer. On kWrongByte,
// `rest` receives the bytes from the wrong one on, which may start the next
// request. A "prompt" event marks the first start byte.
StartBytesOutcome TakeStartBytes(Port& port, platform::Clock& clock, EventLog& events,
                                 std::span<const uint8_t> leftover, const StopCheck& stopping,
                                 std::vector<uint8_t>* rest);

}  // namespace flashkit::sim
