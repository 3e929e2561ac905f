#include "tests/console/peer_script.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "protocol/xfer_session.h"
#include "tests/support/xfer_wire.h"

namespace flashkit::testing {

namespace {
constexpr size_t kBlock = 128;

// A 128-byte block, as the shared wire helpers frame it.
Bytes Frame(uint8_t number, const Bytes& field, bool crc) {
  return DataFrame(xfer::kSoh, number, field, crc ? Check::kCrc : Check::kSum);
}
}  // namespace

Bytes DataBlock(uint8_t number, std::string_view data, bool crc) {
  Bytes field(kBlock, xfer::kFill);
  std::copy(data.begin(), data.begin() + std::min(data.size(), kBlock), field.begin());
  return Frame(number, field, crc);
}

Bytes HeaderBlock(std::string_view name, uint32_t size) {
  Bytes field(kBlock, 0);
  std::string text = std::string(name) + '\0' + std::to_string(size);
  std::copy(text.begin(), text.end(), field.begin());
  return Frame(0, field, true);
}

Bytes ClosingBlock() { return Frame(0, Bytes(kBlock, 0), true); }

Bytes Eot() { return {xfer::kEot}; }

void PlaySender(FakePort& port, std::vector<SenderTurn> turns) {
  auto next = std::make_shared<size_t>(0);
  port.on_write = [turns = std::move(turns), next](FakePort& p, std::span<const uint8_t> written) {
    if (*next >= turns.size()) return;
    const SenderTurn& turn = turns[(*next)++];
    EXPECT_EQ(Bytes(written.begin(), written.end()), Bytes{turn.expect}) << "turn " << *next;
    if (!turn.reply.empty()) p.Arrive(turn.reply);
  };
}

void PlayReceiver(FakePort& port, uint8_t start, bool ymodem) {
  port.Arrive(Bytes{start}, 1);  // after the sender has emptied its input
  port.on_write = [start, ymodem](FakePort& p, std::span<const uint8_t> frame) {
    bool eot = frame.size() == 1 && frame[0] == xfer::kEot;
    bool named_header = frame.size() > 3 && frame[0] == xfer::kSoh && frame[1] == 0 && frame[3] != 0;
    p.Arrive(Bytes{xfer::kAck});
    if (ymodem && (eot || named_header)) p.Arrive(Bytes{start});
  };
}

}  // namespace flashkit::testing
