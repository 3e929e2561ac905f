#include "platform/clock.h"

#include "platform/device.h"
#include "platform/poller.h"
#include "platform/win32/waits.h"

namespace flashkit::platform {
namespace {

constexpr uint64_t kNsPerMs = 1'000'000;

class MonotonicClock : public Clock {
 public:
  uint64_t NowMs() override { return MonotonicNs() / kNsPerMs; }

  // A stop that comes during the sleep ends it, so the sleeper can look and stop.
  void SleepMs(uint32_t ms) override {
    WaitUntilReady([] { return false; }, {}, true, MonotonicNs() + uint64_t{ms} * kNsPerMs);
  }

  void SleepUntilInput(Device& device, uint32_t ms) override { device.PollInput(ms); }
};

}  // namespace

Clock& SystemClock() {
  static MonotonicClock clock;
  return clock;
}

}  // namespace flashkit::platform
