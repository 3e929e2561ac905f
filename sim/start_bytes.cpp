#include "sim/start_bytes.h"

#include <algorithm>

namespace flashkit::sim {
namespace {

constexpr uint8_t kStartByte = '1';
// Short reads, so a stop is noticed promptly.
constexpr uint32_t kReadSliceMs = 100;

uint32_t SliceUntil(uint64_t now, uint64_t deadline) {
  return static_cast<uint32_t>(std::min<uint64_t>(deadline - now, kReadSliceMs));
}

}  // namespace

StartBytesOutcome TakeStartBytes(Port& port, platform::Clock& clock, EventLog& events,
                                 std::span<const uint8_t> leftover, const StopCheck& stopping,
                                 std::vector<uint8_t>* rest) {
  rest->clear();
  std::vector<uint8_t> input(leftover.begin(), leftover.end());
  size_t next = 0;
  int taken = 0;
  uint64_t deadline = clock.NowMs() + kStartBytesWaitMs;
  uint8_t buffer[64];

  while (taken < kUsbStartBytes) {
    if (next == input.size()) {
      if (stopping()) return StartBytesOutcome::kStopped;
      const uint64_t now = clock.NowMs();
      if (now >= deadline) return StartBytesOutcome::kTimedOut;
      const int32_t n = port.Read(buffer, sizeof buffer, SliceUntil(now, deadline), false);
      if (n < 0) return StartBytesOutcome::kStopped;
      input.assign(buffer, buffer + n);
      next = 0;
      continue;
    }
    if (input[next] != kStartByte) {
      rest->assign(input.begin() + static_cast<long>(next), input.end());
      return StartBytesOutcome::kWrongByte;
    }
    if (taken == 0) events.Emit("prompt");
    ++taken;
    ++next;
  }

  uint64_t quiet_from = clock.NowMs();
  deadline = quiet_from + kStartBytesWaitMs;
  for (;;) {
    if (stopping()) return StartBytesOutcome::kStopped;
    const uint64_t now = clock.NowMs();
    if (now >= quiet_from + kStartQuietMs) return StartBytesOutcome::kDone;
    if (now >= deadline) return StartBytesOutcome::kTimedOut;
    const int32_t n =
        port.Read(buffer, sizeof buffer, SliceUntil(now, quiet_from + kStartQuietMs), false);
    if (n < 0) return StartBytesOutcome::kStopped;
    if (n > 0) quiet_from = clock.NowMs();
  }
}

}  // namespace flashkit::sim
