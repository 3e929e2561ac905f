#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/clock.h"
#include "ports/port.h"
#include "sim/event_log.h"
#include "sim/request_listener.h"

namespace flashkit::sim {

// After its request the host pauses, then sends "1" until it sees 'C'.
inline constexpr uint32_t kFirstPromptWaitMs = 10000;
// The prompts are over once none has come for this long.
inline constexpr uint32_t kPromptQuietMs = 30;
// A "1" this soon after a 'C' crossed that 'C' on the line and is not
// answered: a second 'C' would reach a host that is already waiting for the
// receiver's start character. A host still prompting after this long lost
// the 'C' and is answered again.
inline constexpr uint32_t kAnswerGapMs = 50;

enum class PromptOutcome { kDone, kNoPrompt, kStopped };

// A board's second step: answer the "1" prompts with 'C' until the host has
// been quiet for kPromptQuietMs, or until it sends something other than "1"
// (it has moved on to the transfer). `leftover` holds bytes that came with
// the request; bytes before the first "1" are line noise. On kDone, `rest`
// receives the bytes read after the prompts, which belong to the receiver.
// kNoPrompt when no "1" came within kFirstPromptWaitMs.
PromptOutcome AnswerPrompts(Port& port, platform::Clock& clock, EventLog& events,
                            std::span<const uint8_t> leftover, const StopCheck& stopping,
                            std::vector<uint8_t>* rest);

}  // namespace flashkit::sim
