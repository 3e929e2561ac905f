#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace flashkit::sim {

// A line's speed as the wire sees it. baud 0 means unpaced.
struct LineRate {
  uint32_t baud = 115200;
  uint32_t bits_per_char = 10;  // 10 for 8N1, 11 for 8E1

  bool paced() const { return baud != 0; }
};

// When each byte of one direction of a serial line comes out at the far end.
// A byte that finds the line idle starts a burst at the moment it entered;
// byte k of a burst is due at start + (k + 1) * bits / baud, worked out from
// the start each time in whole nanoseconds so rounding never adds up.
// "now" is always passed in, so tests drive it on a virtual clock.
// Not thread-safe.
class LineSchedule {
 public:
  // While a long burst is in flight the pump looks in at least this often.
  static constexpr uint64_t kDefaultBatchNs = 1'000'000;

  explicit LineSchedule(LineRate rate, uint64_t batch_ns = kDefaultBatchNs);

  // Bytes entering the line at `now_ns`.
  void Push(std::span<const uint8_t> bytes, uint64_t now_ns);

  // Appends every byte due by `now_ns` to `out`, in order, and with
  // `due_ns` given, each one's due time to it; returns how many.
  size_t PopDue(uint64_t now_ns, std::vector<uint8_t>& out, std::vector<uint64_t>* due_ns = nullptr);

  // When to deliver next: the due time of the last byte queued, or sooner
  // (`batch_ns` on, never before the first byte is due) while a long burst
  // is in flight. Nothing when the line is empty.
  std::optional<uint64_t> NextWake(uint64_t now_ns) const;

  bool Empty() const { return queue_.empty(); }
  size_t Queued() const { return queue_.size(); }
  // The due time of the last byte that entered the line (0 before any).
  uint64_t LastDue() const { return last_due_ns_; }

 private:
  uint64_t DueInBurst(uint64_t index) const;

  struct Pending {
    uint64_t due_ns;
    uint8_t byte;
  };

  LineRate rate_;
  uint64_t batch_ns_;
  uint64_t burst_start_ns_ = 0;
  uint64_t burst_count_ = 0;  // bytes scheduled since burst_start_ns_
  uint64_t last_due_ns_ = 0;
  bool any_ = false;
  std::deque<Pending> queue_;
};

}  // namespace flashkit::sim
