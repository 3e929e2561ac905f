#include "tests/support/xfer_peer.h"

#include <memory>

#include "tests/support/xfer_wire.h"

namespace flashkit::testing {

XferPeer::XferPeer(FakePort& port) : port_(port) {
  port_.on_write = [this](FakePort& p, std::span<const uint8_t> written) {
    write_times.push_back(p.clock().NowMs());
    XferReply reply;
    if (!replies.empty()) {
      reply = replies.front();
      replies.pop_front();
    } else if (fallback) {
      reply = fallback(written);
    }
    if (!reply.bytes.empty()) p.Arrive(reply.bytes, reply.delay_ms);
  };
}

void XferPeer::Open(const Bytes& bytes, uint64_t delay_ms) { port_.Arrive(bytes, delay_ms); }

std::function<XferReply(std::span<const uint8_t>)> AcceptingReceiver(bool ymodem, uint8_t start_char) {
  const bool streaming = start_char == 'G';
  // In YMODEM the first frame is block 0; after the EOT comes the closing one.
  auto frames_seen = std::make_shared<int>(0);
  return [=](std::span<const uint8_t> written) -> XferReply {
    const bool first = (*frames_seen)++ == 0;
    const bool eot = written.size() == 1 && written[0] == kEotByte;
    const bool ack = eot || !streaming;
    const bool prompt = ymodem && (eot || first);
    Bytes answer(size_t{ack} + size_t{prompt});
    if (ack) answer.front() = kAckByte;
    if (prompt) answer.back() = start_char;
    return {answer};
  };
}

}  // namespace flashkit::testing
