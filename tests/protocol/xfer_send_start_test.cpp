#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "protocol/xfer_session.h"
#include "tests/support/captured_out.h"
#include "tests/support/fake_port.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/xfer_memory_source.h"
#include "tests/support/xfer_peer.h"
#include "tests/support/xfer_row_name.h"
#include "tests/support/xfer_wire.h"

namespace flashkit {
namespace {

using namespace testing;
using testing::PrintTo;

struct Arrival {
  Bytes bytes;
  uint64_t after_ms;  // from the start; the sender's request comes first
};

// The wait for the receiver's start character, seen through an XMODEM send
// of a one-byte file: the frame shows which check the start asked for.
struct StartRow {
  const char* name;
  uint32_t timeout_ms;
  std::vector<Arrival> line;
  std::optional<int> fail_read_call;
  int32_t result;
  int polls;  // one dot each
  std::optional<Check> frames;  // the block's check, when the file went out
  std::optional<uint64_t> elapsed_ms;
};

class SenderStart : public ::testing::TestWithParam<StartRow> {};

TEST_P(SenderStart, StartCharacterDecidesTheTransfer) {
  const StartRow& row = GetParam();
  VirtualClock clock;
  FakePort port(clock);
  CapturedOut out;
  XferSession session(port, out);
  XferPeer peer(port);
  for (const Arrival& a : row.line) port.Arrive(a.bytes, a.after_ms);
  port.fail_read_call = row.fail_read_call;
  const bool streaming = !row.line.empty() && row.line.back().bytes == Bytes{'G'};
  peer.fallback = AcceptingReceiver(false, streaming ? 'G' : 'C');
  const Bytes file{0x5A};
  XferMemorySource source(file);

  EXPECT_EQ(session.SendXmodem(source, row.timeout_ms, false, false), row.result);

  const auto polls = std::count(port.read_timeouts.begin(), port.read_timeouts.end(), 10u);
  EXPECT_EQ(polls, row.polls);
  EXPECT_EQ(out.text(), std::string(static_cast<size_t>(row.polls), '.') + (row.result == 0 ? "\n" : ""));
  std::vector<Bytes> expected;
  if (row.frames) expected = {DataFrame(kSohByte, 1, file, *row.frames), {kEotByte}};
  EXPECT_TRUE(SameFrames(port.writes, expected));
  if (row.elapsed_ms) {
    EXPECT_EQ(clock.NowMs(), *row.elapsed_ms);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SenderStart,
    ::testing::Values(
        StartRow{"C asks for CRC blocks", 30000, {{{'C'}, 15}}, {}, 0, 2, Check::kCrc, {}},
        StartRow{"NAK asks for checksum blocks", 30000, {{{kNakByte}, 15}}, {}, 0, 2, Check::kSum, {}},
        StartRow{"G asks for CRC blocks, streamed", 30000, {{{'G'}, 15}}, {}, 0, 2, Check::kCrc, {}},
        StartRow{"other bytes are ignored", 30000, {{{'x', kAckByte, kCanByte}, 15}, {{'C'}, 45}}, {},
                 0, 7, Check::kCrc, {}},
        StartRow{"stale input is drained first", 30000, {{{'C', 'C'}, 0}, {{kNakByte}, 15}}, {}, 0, 2,
                 Check::kSum, {}},
        StartRow{"time-out 0 still polls for 11000 ms", 0, {}, {}, -200, 1101, {}, 11010},
        StartRow{"time-out 10999 likewise", 10999, {}, {}, -200, 1101, {}, 11010},
        StartRow{"the default 30000 ms: 3001 polls", 30000, {}, {}, -200, 3001, {}, 30010},
        StartRow{"45000 ms: 4501 polls", 45000, {}, {}, -200, 4501, {}, 45010},
        StartRow{"a start character in the last poll counts", 0, {{{'C'}, 11005}}, {}, 0, 1101,
                 Check::kCrc, {}},
        StartRow{"one after the last poll is too late", 0, {{{'C'}, 11015}}, {}, -200, 1101, {}, 11010},
        StartRow{"a port failure ends the wait unchanged", 30000, {}, 3, -105, 2, {}, 10}),
    XferRowName<StartRow>);

}  // namespace
}  // namespace flashkit
