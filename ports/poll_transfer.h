#pragma once

#include <cstdint>
#include <functional>

#include "platform/device.h"

namespace flashkit {

// The pause between attempts of a transfer that moved nothing.
inline constexpr uint32_t kPollStepMs = 10;

// Makes `attempt` until one moves a byte or the time-out has been waited away,
// calling `wait` with min(step_ms, time left) between attempts; `wait`
// returns the milliseconds it really waited (less when input woke it). Only
// the waits count against the time-out, so a time-out of 0 is exactly one
// attempt.
// Returns the count the last attempt moved (0 when the time ran out),
// `failure` as soon as an attempt fails, or status::kInterrupted when a stop
// signal has arrived by the time it would wait.
int32_t PollTransfer(uint32_t timeout_ms, int32_t failure,
                     const std::function<platform::IoResult()>& attempt,
                     const std::function<uint32_t(uint32_t)>& wait,
                     uint32_t step_ms = kPollStepMs);

}  // namespace flashkit
