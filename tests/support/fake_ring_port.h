#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "gui/links/ring_port.h"
#include "tests/support/virtual_clock.h"

namespace flashkit::testing {

// A RingPort whose far side is a responder on a virtual clock: after each
// Write it may queue bytes that come into the ring at a later virtual time.
// PauseForInput advances the clock by the pause, or only up to the moment
// the next byte is due.
class FakeRingPort : public RingPort {
 public:
  using Bytes = std::vector<uint8_t>;

  struct LineSettings {
    int32_t port_index;
    uint32_t baud;
    uint8_t byte_size;
    uint8_t stop_bits;
    uint8_t parity;
    bool operator==(const LineSettings&) const = default;
  };

  explicit FakeRingPort(VirtualClock& clock) : clock_(clock) {}

  // Bytes that come into the ring `delay_ms` from now, never before bytes
  // already on their way.
  void Arrive(const Bytes& bytes, uint64_t delay_ms = 0);
  size_t Pending() const { return inbound_.size(); }

  // Answers the Nth frame written with replies[N-1]; frames beyond the
  // script get no answer.
  void ReplyInTurn(std::vector<Bytes> replies, uint64_t delay_ms = 0);

  // Called after every Write with the frame written.
  std::function<void(FakeRingPort&, std::span<const uint8_t>)> on_write;
  int32_t open_result = 1;
  std::string open_failure;  // what OpenFailureText says after an Open that failed
  std::string path;          // as SetPath left it

  // What happened, in order: "SetParams", "Open", "Write", "Close".
  std::vector<std::string> calls;
  std::vector<Bytes> writes;
  std::vector<LineSettings> settings;
  int pauses = 0;

  VirtualClock& clock() { return clock_; }

  void SetParams(int32_t port_index, uint32_t baud, uint8_t byte_size, uint8_t stop_bits,
                 uint8_t parity) override;
  void SetPath(const std::string& line_path) override { path = line_path; }
  int32_t Open() override;
  std::string OpenFailureText() const override { return open_result == 1 ? "" : open_failure; }
  int32_t Write(const uint8_t* data, uint32_t length) override;
  int32_t TakeByte(uint8_t* byte) override;
  void PauseForInput(uint32_t ms) override;
  int32_t Close() override;

 private:
  struct Timed {
    uint64_t at;
    uint8_t byte;
  };
  VirtualClock& clock_;
  std::deque<Timed> inbound_;
};

}  // namespace flashkit::testing
