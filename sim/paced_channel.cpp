#include "sim/paced_channel.h"

#include <algorithm>

namespace flashkit::sim {

PacedChannel::PacedChannel(LineRate rate, FaultRates faults, uint64_t seed, uint32_t direction,
                           uint64_t batch_ns)
    : schedule_(rate, batch_ns), faults_(faults, seed, direction) {}

void PacedChannel::Deliver(uint64_t now_ns, std::vector<uint8_t>& out) {
  due_.clear();
  if (!adapter_) {
    schedule_.PopDue(now_ns, due_);
    for (uint8_t byte : due_) faults_.Pass(byte, out);
    return;
  }
  // The adapter's timer runs from when a byte reached it, not from when the
  // pump looked.
  due_ns_.clear();
  schedule_.PopDue(now_ns, due_, &due_ns_);
  for (size_t k = 0; k < due_.size(); ++k) {
    passed_.clear();
    faults_.Pass(due_[k], passed_);
    for (uint8_t byte : passed_) adapter_->Arrive(byte, due_ns_[k], out);
  }
  adapter_->Release(now_ns, out);
}

std::optional<uint64_t> PacedChannel::NextWake(uint64_t now_ns) const {
  const std::optional<uint64_t> line = schedule_.NextWake(now_ns);
  const std::optional<uint64_t> held = adapter_ ? adapter_->NextWake() : std::nullopt;
  if (!line) return held;
  if (!held) return line;
  return std::min(*line, *held);
}

}  // namespace flashkit::sim
