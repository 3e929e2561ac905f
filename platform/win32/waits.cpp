#include "platform/win32/waits.h"

#include <mmsystem.h>

#include <algorithm>

#include "platform/poller.h"
#include "platform/signals.h"
#include "platform/win32/stop_event.h"

namespace flashkit::platform {
namespace {

constexpr uint64_t kNsPerMs = 1'000'000;
constexpr DWORD kPollStepMs = 1;

}  // namespace

void UseMillisecondTimer() {
  static const bool once = (::timeBeginPeriod(1), true);
  (void)once;
}

bool WaitUntilReady(const std::function<bool()>& ready, const std::vector<HANDLE>& wakers,
                    bool wakers_cover, std::optional<uint64_t> deadline_ns) {
  UseMillisecondTimer();
  const bool stopped_before = StopSignal() != 0;
  std::vector<HANDLE> handles = wakers;
  if (!stopped_before) handles.push_back(StopEvent());
  for (;;) {
    if (ready()) return true;
    DWORD step = INFINITE;
    if (deadline_ns) {
      const uint64_t now = MonotonicNs();
      if (now >= *deadline_ns) return false;
      // Rounded up, so a wait never ends before its deadline.
      const uint64_t left_ms = (*deadline_ns - now + kNsPerMs - 1) / kNsPerMs;
      step = static_cast<DWORD>(std::min<uint64_t>(left_ms, INFINITE - 1));
    }
    if (!wakers_cover) step = std::min(step, kPollStepMs);
    if (handles.empty()) {
      ::Sleep(step);
    } else {
      ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, step);
    }
    if (!stopped_before && StopSignal() != 0) return ready();
  }
}

}  // namespace flashkit::platform
