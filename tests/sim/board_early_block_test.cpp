// The board's receiver when the host began block 0 before the board left its
// prompt phase (it took a late answer to one of its "1" prompts for the
// receiver's start): the block is answered with its ACK alone, so the host
// does not read a 'C' ahead of it as a refusal and send block 0 again.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "common/crc16_table.h"
#include "sim/board.h"
#include "sim/event_log.h"
#include "sim/image_sink.h"
#include "tests/support/fake_port.h"
#include "tests/support/xfer_wire.h"

namespace flashkit::sim {
namespace {

using testing::Bytes;
using testing::Check;

const Bytes kData = testing::Pattern(100);

Bytes Block0() {
  return testing::DataFrame(testing::kSohByte, 0, testing::HeaderField("fw.bin", "100"),
                            Check::kCrc);
}
Bytes Block1() { return testing::DataFrame(testing::kSohByte, 1, kData, Check::kCrc); }
Bytes ClosingBlock0() {
  return testing::DataFrame(testing::kSohByte, 0, Bytes(128, 0), Check::kCrc);
}
const Bytes kEot = {testing::kEotByte};

constexpr uint8_t kAck = testing::kAckByte;
constexpr uint8_t kC = 'C';

struct EarlyRow {
  const char* name;
  Bytes leftover;  // what the prompt phase took from the line after the prompts
  // The host: what it sends once the board's Nth write (from 1) has come;
  // 0 is what is on the line already.
  std::map<int, Bytes> after_write;
  Bytes answers;  // every byte the board writes, in order
};

class BoardEarlyBlock : public ::testing::TestWithParam<EarlyRow> {};

TEST_P(BoardEarlyBlock, AnswersTheBlockTheHostBegan) {
  const EarlyRow& row = GetParam();
  testing::VirtualClock clock;
  testing::FakePort port(clock);
  if (const auto now = row.after_write.find(0); now != row.after_write.end()) {
    port.Arrive(now->second);
  }
  port.on_write = [&row](testing::FakePort& line, std::span<const uint8_t>) {
    const auto next = row.after_write.find(line.write_calls);
    if (next != row.after_write.end()) line.Arrive(next->second);
  };
  std::ostringstream out;
  EventLog events(out, [&clock] { return clock.NowMs() * 1'000'000; });
  Crc16Table crc;
  Board board(port, clock, events, crc, BoardSettings{}, [] { return false; });
  ImageSink sink(events);

  EXPECT_EQ(board.Receive(sink, row.leftover), 0);
  EXPECT_TRUE(sink.complete());
  EXPECT_EQ(sink.data(), kData);
  EXPECT_EQ(port.written, row.answers);
}

INSTANTIATE_TEST_SUITE_P(
    Board, BoardEarlyBlock,
    ::testing::Values(
        EarlyRow{"HostWaitsForTheStart",
                 {},
                 {{1, Block0()}, {3, Block1()}, {4, kEot}, {6, ClosingBlock0()}},
                 {kC, kAck, kC, kAck, kAck, kC, kAck}},
        EarlyRow{"WholeBlock0AlreadyTaken",
                 Block0(),
                 {{2, Block1()}, {3, kEot}, {5, ClosingBlock0()}},
                 {kAck, kC, kAck, kAck, kC, kAck}},
        EarlyRow{"Block0Begun",
                 testing::Slice(Block0(), 0, 40),
                 {{0, testing::Slice(Block0(), 40, 93)}, {2, Block1()}, {3, kEot},
                  {5, ClosingBlock0()}},
                 {kAck, kC, kAck, kAck, kC, kAck}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::sim
