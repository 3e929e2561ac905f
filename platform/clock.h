#pragma once

#include <cstdint>

namespace flashkit::platform {

class Device;

// Every sleep and time-out goes through a Clock, so tests can run hours of
// protocol time on a virtual one in an instant.
class Clock {
 public:
  virtual ~Clock() = default;

  // Monotonic milliseconds since an arbitrary start.
  virtual uint64_t NowMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
  // Sleeps at most `ms`, ending early when `device` has input to read (or has
  // failed, so the next read reports it).
  virtual void SleepUntilInput(Device& device, uint32_t ms) = 0;
};

// The real monotonic clock. Thread-safe.
Clock& SystemClock();

}  // namespace flashkit::platform
