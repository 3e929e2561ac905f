#include "sim/paced_channel.h"

namespace flashkit::sim {

PacedChannel::PacedChannel(LineRate rate, FaultRates faults, uint64_t seed, uint32_t direction,
                           uint64_t batch_ns)
    : schedule_(rate, batch_ns), faults_(faults, seed, direction) {}

void PacedChannel::Deliver(uint64_t now_ns, std::vector<uint8_t>& out) {
  due_.clear();
  schedule_.PopDue(now_ns, due_);
  for (uint8_t byte : due_) faults_.Pass(byte, out);
}

}  // namespace flashkit::sim
