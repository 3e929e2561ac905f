#include "platform/clock.h"

#include <cerrno>
#include <ctime>

#include "platform/device.h"
#include "platform/signals.h"

namespace flashkit::platform {
namespace {

constexpr int64_t kNsPerMs = 1'000'000;
constexpr int64_t kNsPerS = 1'000'000'000;

class MonotonicClock : public Clock {
 public:
  uint64_t NowMs() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec / kNsPerMs);
  }

  // Sleeps to an absolute deadline so a signal that interrupts the sleep does
  // not stretch it; a stop signal ends it, so the sleeper can look and stop.
  void SleepMs(uint32_t ms) override {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const int64_t ns = deadline.tv_nsec + static_cast<int64_t>(ms % 1000) * kNsPerMs;
    deadline.tv_sec += static_cast<time_t>(ms / 1000 + ns / kNsPerS);
    deadline.tv_nsec = static_cast<long>(ns % kNsPerS);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR &&
           StopSignal() == 0) {
    }
  }

  void SleepUntilInput(Device& device, uint32_t ms) override { device.PollInput(ms); }
};

}  // namespace

Clock& SystemClock() {
  static MonotonicClock clock;
  return clock;
}

}  // namespace flashkit::platform
