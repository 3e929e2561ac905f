#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/fault_injector.h"
#include "sim/latency_timer.h"
#include "sim/line_schedule.h"

namespace flashkit::sim {

// One direction of a simulated line: bytes go in, and come out at their due
// time, some of them lost or damaged, and, when the far end is a USB serial
// adapter, held there as its latency timer says. Not thread-safe.
class PacedChannel {
 public:
  PacedChannel(LineRate rate, FaultRates faults, uint64_t seed, uint32_t direction,
               uint64_t batch_ns = LineSchedule::kDefaultBatchNs);

  // The far end receives through an adapter with this latency timer, in ms.
  // Before the first Push.
  void SetLatencyTimer(uint32_t timer_ms) { adapter_.emplace(timer_ms); }

  void Push(std::span<const uint8_t> bytes, uint64_t now_ns) { schedule_.Push(bytes, now_ns); }

  // Appends what comes out by `now_ns`, after the faults and the adapter, to
  // `out`.
  void Deliver(uint64_t now_ns, std::vector<uint8_t>& out);

  std::optional<uint64_t> NextWake(uint64_t now_ns) const;
  bool Empty() const { return schedule_.Empty() && (!adapter_ || adapter_->Empty()); }
  size_t Queued() const { return schedule_.Queued() + (adapter_ ? adapter_->Held() : 0); }
  // What the line carried; bytes still in the adapter count as delivered.
  const LineCounts& counts() const { return faults_.counts(); }

 private:
  LineSchedule schedule_;
  FaultInjector faults_;
  std::optional<LatencyTimer> adapter_;
  std::vector<uint8_t> due_;
  std::vector<uint64_t> due_ns_;
  std::vector<uint8_t> passed_;
};

}  // namespace flashkit::sim
