#include "tests/support/fake_ring_port.h"

#include <algorithm>

namespace flashkit::testing {

void FakeRingPort::Arrive(const Bytes& bytes, uint64_t delay_ms) {
  uint64_t at = clock_.NowMs() + delay_ms;
  if (!inbound_.empty()) at = std::max(at, inbound_.back().at);
  for (uint8_t b : bytes) inbound_.push_back({at, b});
}

void FakeRingPort::ReplyInTurn(std::vector<Bytes> replies, uint64_t delay_ms) {
  on_write = [replies = std::move(replies), delay_ms, next = size_t{0}](
                 FakeRingPort& port, std::span<const uint8_t>) mutable {
    if (next < replies.size()) port.Arrive(replies[next], delay_ms);
    ++next;
  };
}

void FakeRingPort::SetParams(int32_t port_index, uint32_t baud, uint8_t byte_size,
                             uint8_t stop_bits, uint8_t parity) {
  calls.push_back("SetParams");
  settings.push_back({port_index, baud, byte_size, stop_bits, parity});
}

int32_t FakeRingPort::Open() {
  calls.push_back("Open");
  return open_result;
}

int32_t FakeRingPort::Write(const uint8_t* data, uint32_t length) {
  calls.push_back("Write");
  writes.emplace_back(data, data + length);
  if (on_write) on_write(*this, writes.back());
  return static_cast<int32_t>(length);
}

int32_t FakeRingPort::TakeByte(uint8_t* byte) {
  if (inbound_.empty() || inbound_.front().at > clock_.NowMs()) return 0;
  *byte = inbound_.front().byte;
  inbound_.pop_front();
  return 1;
}

void FakeRingPort::PauseForInput(uint32_t ms) {
  ++pauses;
  uint64_t step = ms;
  if (!inbound_.empty()) {
    const uint64_t due = inbound_.front().at;
    const uint64_t now = clock_.NowMs();
    step = std::min<uint64_t>(step, due > now ? due - now : 0);
  }
  clock_.Advance(step);
}

int32_t FakeRingPort::Close() {
  calls.push_back("Close");
  return 1;
}

}  // namespace flashkit::testing
