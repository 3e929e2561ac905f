#include "sim/prompt_responder.h"

#include <algorithm>
#include <optional>

namespace flashkit::sim {
namespace {

constexpr uint8_t kPrompt = '1';
constexpr uint8_t kReady = 'C';
constexpr uint32_t kReadSliceMs = 100;

}  // namespace

PromptOutcome AnswerPrompts(Port& port, platform::Clock& clock, EventLog& events,
                            std::span<const uint8_t> leftover, const StopCheck& stopping,
                            std::vector<uint8_t>* rest) {
  rest->clear();
  std::vector<uint8_t> input(leftover.begin(), leftover.end());
  const uint64_t first_deadline = clock.NowMs() + kFirstPromptWaitMs;
  bool prompted = false;
  uint64_t last_prompt_ms = 0;
  std::optional<uint64_t> last_answer_ms;

  while (!stopping()) {
    for (auto it = input.begin(); it != input.end(); ++it) {
      if (*it != kPrompt) {
        if (!prompted) continue;
        rest->assign(it, input.end());
        return PromptOutcome::kDone;
      }
      const uint64_t now = clock.NowMs();
      if (!last_answer_ms || now - *last_answer_ms >= kAnswerGapMs) {
        if (port.Write(&kReady, 1, 1000, false) < 0) return PromptOutcome::kStopped;
        last_answer_ms = now;
      }
      if (!prompted) events.Emit("prompt");
      prompted = true;
      last_prompt_ms = now;
    }
    input.clear();

    const uint64_t now = clock.NowMs();
    const uint64_t deadline = prompted ? last_prompt_ms + kPromptQuietMs : first_deadline;
    if (now >= deadline) return prompted ? PromptOutcome::kDone : PromptOutcome::kNoPrompt;

    uint8_t buffer[64];
    const auto wait = static_cast<uint32_t>(std::min<uint64_t>(deadline - now, kReadSliceMs));
    const int32_t n = port.Read(buffer, sizeof buffer, wait, false);
    if (n < 0) return PromptOutcome::kStopped;
    input.assign(buffer, buffer + n);
  }
  return PromptOutcome::kStopped;
}

}  // namespace flashkit::sim
