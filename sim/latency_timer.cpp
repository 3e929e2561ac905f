#include "sim/latency_timer.h"

namespace flashkit::sim {

LatencyTimer::LatencyTimer(uint32_t timer_ms) : timer_ns_(uint64_t{timer_ms} * 1'000'000) {
  held_.reserve(kPacketBytes);
}

void LatencyTimer::Flush(std::vector<uint8_t>& out) {
  out.insert(out.end(), held_.begin(), held_.end());
  held_.clear();
}

void LatencyTimer::Arrive(uint8_t byte, uint64_t at_ns, std::vector<uint8_t>& out) {
  // The timer may have run out before this byte came in, however late the
  // caller looks.
  Release(at_ns, out);
  if (held_.empty()) first_ns_ = at_ns;
  held_.push_back(byte);
  if (held_.size() == kPacketBytes) Flush(out);
}

void LatencyTimer::Release(uint64_t now_ns, std::vector<uint8_t>& out) {
  if (!held_.empty() && now_ns >= first_ns_ + timer_ns_) Flush(out);
}

std::optional<uint64_t> LatencyTimer::NextWake() const {
  if (held_.empty()) return std::nullopt;
  return first_ns_ + timer_ns_;
}

}  // namespace flashkit::sim
