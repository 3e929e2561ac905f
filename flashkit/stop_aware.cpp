#include "flashkit/stop_aware.h"

#include <algorithm>

#include "platform/signals.h"

namespace flashkit::rack {
namespace {

constexpr uint32_t kSliceMs = 20;

}  // namespace

bool StopAsked() { return platform::StopSignal() != 0; }

void StopAwareClock::SleepMs(uint32_t ms) {
  while (ms > 0 && !StopAsked()) {
    const uint32_t slice = std::min(ms, kSliceMs);
    inner_.SleepMs(slice);
    ms -= slice;
  }
}

}  // namespace flashkit::rack
