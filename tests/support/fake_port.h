#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ports/port.h"
#include "tests/support/virtual_clock.h"

namespace flashkit::testing {

using Bytes = std::vector<uint8_t>;

// A Port whose far side is a script on a virtual clock: bytes arrive at set
// times, and a responder may queue replies to what is written. Time passes
// only inside Read (and in the responder, if it advances the clock), exactly
// as a real port's time-outs would let it.
class FakePort : public Port {
 public:
  explicit FakePort(VirtualClock& clock) : clock_(clock) {}

  // Queues bytes that arrive `delay_ms` after the current virtual time.
  void Arrive(const Bytes& bytes, uint64_t delay_ms = 0);
  void Arrive(std::string_view text, uint64_t delay_ms = 0);
  // Bytes queued but not yet read.
  size_t Pending() const { return inbound_.size(); }
  // Drops everything queued (a purge on the far side's line).
  void DropPending() { inbound_.clear(); }

  // Called after every successful Write with the bytes written.
  std::function<void(FakePort&, std::span<const uint8_t>)> on_write;

  // Failure injection: the Nth call (1-based) fails with the port's status.
  std::optional<int> fail_read_call;
  std::optional<int> fail_write_call;
  // The Nth write moves only this many bytes (0 = nothing moved).
  std::optional<std::pair<int, uint32_t>> short_write;
  // What SendRequest returns; it records the name and flag either way.
  int32_t request_result = 1;

  // What happened.
  Bytes written;                    // every byte written, in order
  std::vector<Bytes> writes;        // one entry per Write call
  std::vector<uint32_t> read_timeouts;  // the time-out of each Read call
  std::vector<uint32_t> write_timeouts;  // the time-out of each Write call
  std::vector<std::string> requests;    // names given to SendRequest
  int read_calls = 0;
  int write_calls = 0;
  bool saw_usb_flag = false;        // any call carried use_usb = true

  VirtualClock& clock() { return clock_; }

  // Port.
  int32_t CreateComInfo() override { return 1; }
  int32_t OpenUSBHandler() override { return 0; }
  bool GetDevicePath(const InterfaceClass&, std::optional<std::string>& path, int32_t) override {
    path.reset();
    return false;
  }
  int32_t CountDevices(const InterfaceClass&) override { return 0; }
  int32_t UsbConnect() override { return 0; }
  int32_t OpenPort(uint32_t) override { return 0; }
  int32_t ConfigurePort(uint32_t) override { return 0; }
  int32_t Write(const uint8_t* data, uint32_t length, uint32_t timeout_ms, bool use_usb) override;
  int32_t SendRequest(const char* name, bool use_usb) override;
  int32_t Read(uint8_t* buffer, uint32_t length, uint32_t timeout_ms, bool use_usb) override;
  int32_t ClosePort() override { return -1; }

 private:
  struct Timed {
    uint64_t at;
    uint8_t byte;
  };
  VirtualClock& clock_;
  std::deque<Timed> inbound_;
};

}  // namespace flashkit::testing
