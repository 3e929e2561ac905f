#pragma once

#include <cstdint>
#include <span>

#include "platform/clock.h"
#include "ports/port.h"
#include "sim/event_log.h"
#include "sim/request_listener.h"

namespace flashkit::sim {

// After its request the host pauses, then sends "1" until it sees 'C'.
inline constexpr uint32_t kFirstPromptWaitMs = 10000;
// The prompts are over once none has come for this long.
inline constexpr uint32_t kPromptQuietMs = 30;

enum class PromptOutcome { kDone, kNoPrompt, kStopped };

// A board's second step: answer every "1" with 'C' until the host has been
// quiet for kPromptQuietMs. `leftover` holds bytes that came with the
// request. kNoPrompt when no "1" came within kFirstPromptWaitMs.
PromptOutcome AnswerPrompts(Port& port, platform::Clock& clock, EventLog& events,
                            std::span<const uint8_t> leftover, const StopCheck& stopping);

}  // namespace flashkit::sim
