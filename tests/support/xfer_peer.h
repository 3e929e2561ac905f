#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

#include "tests/support/fake_port.h"

namespace flashkit::testing {

// What the far side sends in answer to one Write call of the engine.
struct XferReply {
  Bytes bytes;
  uint64_t delay_ms = 1;  // a real line never answers in zero time
};

// The far side of an X/YMODEM transfer as a script: the Nth Write call of
// the engine is answered with the Nth reply; once the list is used up,
// `fallback` (when set) answers from the bytes written.
class XferPeer {
 public:
  explicit XferPeer(FakePort& port);

  // Bytes that arrive `delay_ms` from now, before the engine has written.
  void Open(const Bytes& bytes, uint64_t delay_ms = 20);

  std::deque<XferReply> replies;
  std::function<XferReply(std::span<const uint8_t> written)> fallback;

  // Virtual time of every Write call that moved bytes.
  std::vector<uint64_t> write_times;

 private:
  FakePort& port_;
};

// A receiver that accepts everything: ACK to each frame; for YMODEM also the
// start character again after block 0 and after the EOT. In streaming mode
// ('G') only the EOT is acknowledged.
std::function<XferReply(std::span<const uint8_t>)> AcceptingReceiver(bool ymodem, uint8_t start_char);

}  // namespace flashkit::testing
