#include "tests/support/fake_port.h"

#include <algorithm>

#include "ports/status.h"

namespace flashkit::testing {

void FakePort::Arrive(const Bytes& bytes, uint64_t delay_ms) {
  // Arrivals never overtake bytes already on the way.
  uint64_t at = clock_.NowMs() + delay_ms;
  if (!inbound_.empty()) at = std::max(at, inbound_.back().at);
  for (uint8_t b : bytes) inbound_.push_back({at, b});
}

void FakePort::Arrive(std::string_view text, uint64_t delay_ms) {
  Arrive(Bytes(text.begin(), text.end()), delay_ms);
}

int32_t FakePort::Write(const uint8_t* data, uint32_t length, uint32_t timeout_ms, bool use_usb) {
  ++write_calls;
  write_timeouts.push_back(timeout_ms);
  saw_usb_flag |= use_usb;
  if (fail_write_call && *fail_write_call == write_calls) return status::kPortWriteFailed;
  uint32_t moved = length;
  if (short_write && short_write->first == write_calls) moved = std::min(length, short_write->second);
  Bytes chunk(data, data + moved);
  written.insert(written.end(), chunk.begin(), chunk.end());
  writes.push_back(chunk);
  if (on_write && moved > 0) on_write(*this, chunk);
  return static_cast<int32_t>(moved);
}

int32_t FakePort::SendRequest(const char* name, bool use_usb) {
  saw_usb_flag |= use_usb;
  requests.emplace_back(name);
  return request_result;
}

int32_t FakePort::Read(uint8_t* buffer, uint32_t length, uint32_t timeout_ms, bool use_usb) {
  ++read_calls;
  saw_usb_flag |= use_usb;
  read_timeouts.push_back(timeout_ms);
  if (fail_read_call && *fail_read_call == read_calls) return status::kPortReadFailed;

  auto deliver = [&]() -> int32_t {
    uint32_t n = 0;
    while (n < length && !inbound_.empty() && inbound_.front().at <= clock_.NowMs()) {
      buffer[n++] = inbound_.front().byte;
      inbound_.pop_front();
    }
    return static_cast<int32_t>(n);
  };

  if (int32_t n = deliver(); n > 0 || timeout_ms == 0 || length == 0) return n;
  if (!inbound_.empty() && inbound_.front().at <= clock_.NowMs() + timeout_ms) {
    clock_.Set(inbound_.front().at);
    return deliver();
  }
  clock_.Advance(timeout_ms);
  return 0;
}

}  // namespace flashkit::testing
