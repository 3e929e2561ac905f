#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"

namespace flashkit::testing {

// Time that passes only when someone sleeps or waits: an 11-second time-out
// costs nothing. Sleeps are recorded so tests can check the waiting pattern.
class VirtualClock : public platform::Clock {
 public:
  uint64_t NowMs() override { return now_; }
  void SleepMs(uint32_t ms) override {
    sleeps.push_back(ms);
    now_ += ms;
  }
  void SleepUntilInput(platform::Device&, uint32_t ms) override {
    sleeps.push_back(ms);
    now_ += ms;
  }
  void Advance(uint64_t ms) { now_ += ms; }
  void Set(uint64_t ms) { now_ = ms; }

  std::vector<uint32_t> sleeps;

 private:
  uint64_t now_ = 0;
};

}  // namespace flashkit::testing
