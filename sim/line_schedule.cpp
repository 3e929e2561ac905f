#include "sim/line_schedule.h"

#include <algorithm>

namespace flashkit::sim {
namespace {
constexpr uint64_t kNsPerSecond = 1'000'000'000ull;
}

LineSchedule::LineSchedule(LineRate rate, uint64_t batch_ns) : rate_(rate), batch_ns_(batch_ns) {}

uint64_t LineSchedule::DueInBurst(uint64_t index) const {
  return burst_start_ns_ + (index + 1) * rate_.bits_per_char * kNsPerSecond / rate_.baud;
}

void LineSchedule::Push(std::span<const uint8_t> bytes, uint64_t now_ns) {
  for (uint8_t byte : bytes) {
    uint64_t due = now_ns;
    if (rate_.paced()) {
      if (!any_ || now_ns > last_due_ns_) {
        burst_start_ns_ = now_ns;
        burst_count_ = 0;
      } else if (burst_count_ == rate_.baud) {
        // `baud` characters take exactly `bits` seconds: move the start up
        // so the products stay small however long the burst runs.
        burst_start_ns_ += uint64_t{rate_.bits_per_char} * kNsPerSecond;
        burst_count_ = 0;
      }
      due = DueInBurst(burst_count_++);
    }
    last_due_ns_ = std::max(last_due_ns_, due);
    any_ = true;
    queue_.push_back({due, byte});
  }
}

size_t LineSchedule::PopDue(uint64_t now_ns, std::vector<uint8_t>& out,
                            std::vector<uint64_t>* due_ns) {
  size_t n = 0;
  while (!queue_.empty() && queue_.front().due_ns <= now_ns) {
    out.push_back(queue_.front().byte);
    if (due_ns) due_ns->push_back(queue_.front().due_ns);
    queue_.pop_front();
    ++n;
  }
  return n;
}

std::optional<uint64_t> LineSchedule::NextWake(uint64_t now_ns) const {
  if (queue_.empty()) return std::nullopt;
  const uint64_t first = queue_.front().due_ns;
  const uint64_t last = queue_.back().due_ns;
  if (first <= now_ns) return now_ns;
  return std::min(last, std::max(first, now_ns + batch_ns_));
}

}  // namespace flashkit::sim
