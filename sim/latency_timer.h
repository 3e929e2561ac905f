#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace flashkit::sim {

// The receive side of a USB serial adapter of the FTDI kind (FT232R and
// friends): what comes in from the line is held until a USB packet is full,
// 62 bytes beside its two status bytes, or until the latency timer has run
// out since the first held byte came in; then everything held goes to the
// host at once. The timer is 16 ms as the driver leaves it, 1 ms in its
// low-latency mode. "now" is always passed in, so tests drive it on a
// virtual clock. Not thread-safe.
class LatencyTimer {
 public:
  static constexpr size_t kPacketBytes = 62;
  // The range the chip's timer register takes.
  static constexpr uint32_t kMinMs = 1;
  static constexpr uint32_t kMaxMs = 255;

  explicit LatencyTimer(uint32_t timer_ms);

  // A byte that came in from the line at `at_ns`, no earlier than the one
  // before it; appends to `out` what the adapter has passed on by then.
  void Arrive(uint8_t byte, uint64_t at_ns, std::vector<uint8_t>& out);

  // Appends to `out` what the adapter has passed on by `now_ns`.
  void Release(uint64_t now_ns, std::vector<uint8_t>& out);

  // When the held bytes go unless the packet fills first; nothing while none
  // are held.
  std::optional<uint64_t> NextWake() const;

  bool Empty() const { return held_.empty(); }
  size_t Held() const { return held_.size(); }

 private:
  void Flush(std::vector<uint8_t>& out);

  uint64_t timer_ns_;
  uint64_t first_ns_ = 0;  // when the first held byte came in
  std::vector<uint8_t> held_;
};

}  // namespace flashkit::sim
