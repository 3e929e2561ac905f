#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/fault_injector.h"
#include "sim/line_schedule.h"

namespace flashkit::sim {

// One direction of a simulated line: bytes go in, and come out at their due
// time, some of them lost or damaged. Not thread-safe.
class PacedChannel {
 public:
  PacedChannel(LineRate rate, FaultRates faults, uint64_t seed, uint32_t direction,
               uint64_t batch_ns = LineSchedule::kDefaultBatchNs);

  void Push(std::span<const uint8_t> bytes, uint64_t now_ns) { schedule_.Push(bytes, now_ns); }

  // Appends what comes out by `now_ns`, after the faults, to `out`.
  void Deliver(uint64_t now_ns, std::vector<uint8_t>& out);

  std::optional<uint64_t> NextWake(uint64_t now_ns) const { return schedule_.NextWake(now_ns); }
  bool Empty() const { return schedule_.Empty(); }
  size_t Queued() const { return schedule_.Queued(); }
  const LineCounts& counts() const { return faults_.counts(); }

 private:
  LineSchedule schedule_;
  FaultInjector faults_;
  std::vector<uint8_t> due_;
};

}  // namespace flashkit::sim
