#include "ports/poll_transfer.h"

#include <algorithm>
#include <limits>

#include "platform/signals.h"
#include "ports/status.h"

namespace flashkit {

int32_t PollTransfer(uint32_t timeout_ms, int32_t failure,
                     const std::function<platform::IoResult()>& attempt,
                     const std::function<uint32_t(uint32_t)>& wait, uint32_t step_ms) {
  uint32_t left = timeout_ms;
  for (;;) {
    const platform::IoResult result = attempt();
    if (!result.ok()) return failure;
    if (result.count > 0 || left == 0) {
      return static_cast<int32_t>(
          std::min<size_t>(result.count, std::numeric_limits<int32_t>::max()));
    }
    if (platform::StopSignal() != 0) return status::kInterrupted;
    const uint32_t step = std::min(std::max(step_ms, uint32_t{1}), left);
    left -= std::min(wait(step), left);
  }
}

}  // namespace flashkit
