#include <gtest/gtest.h>

#include <map>
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

// What can go wrong on our side of the line.
struct Faults {
  std::optional<int> fail_read_call = {};
  std::optional<int> fail_write_call = {};
  std::optional<std::pair<int, uint32_t>> short_write = {};
  std::optional<std::pair<int, int32_t>> source_fail = {};
};

// An XMODEM send of 200 bytes (blocks 1 and 2, then the EOT) against a
// receiver that answers each write as the row says.
struct AnswerRow {
  const char* name;
  uint8_t start;
  std::vector<XferReply> replies;  // one per write of the sender
  bool then_accept;                // afterwards everything is accepted
  int32_t result;
  std::vector<std::string> writes;  // C1/C2: CRC blocks, S1: checksum block, E: EOT
  int purge_reads;                  // reads that wait for 500 ms of silence
  Faults faults = {};
  std::optional<uint64_t> elapsed_ms = {};
};

const Bytes kFile = Pattern(200);

const std::map<std::string, Bytes>& Frames() {
  static const std::map<std::string, Bytes> frames = [] {
    std::map<std::string, Bytes> f;
    f["C1"] = DataFrame(kSohByte, 1, Slice(kFile, 0, 128), Check::kCrc);
    f["C2"] = DataFrame(kSohByte, 2, Slice(kFile, 128, 72), Check::kCrc);
    f["S1"] = DataFrame(kSohByte, 1, Slice(kFile, 0, 128), Check::kSum);
    f["E"] = {kEotByte};
    f["C1a"] = Slice(f["C1"], 0, 50);
    f["C1b"] = Slice(f["C1"], 50, f["C1"].size() - 50);
    f["nothing"] = {};
    return f;
  }();
  return frames;
}

class SenderAnswers : public ::testing::TestWithParam<AnswerRow> {};

TEST_P(SenderAnswers, ResendPurgeCancelOrFail) {
  const AnswerRow& row = GetParam();
  VirtualClock clock;
  FakePort port(clock);
  CapturedOut out;
  XferSession session(port, out);
  XferPeer peer(port);
  peer.Open({row.start}, 15);
  peer.replies.assign(row.replies.begin(), row.replies.end());
  if (row.then_accept) peer.fallback = AcceptingReceiver(false, row.start);
  port.fail_read_call = row.faults.fail_read_call;
  port.fail_write_call = row.faults.fail_write_call;
  port.short_write = row.faults.short_write;
  XferMemorySource source(kFile);
  source.fail_call = row.faults.source_fail;

  EXPECT_EQ(session.SendXmodem(source, 30000, false, false), row.result);

  std::vector<Bytes> expected;
  for (const std::string& key : row.writes) expected.push_back(Frames().at(key));
  EXPECT_TRUE(SameFrames(port.writes, expected));
  EXPECT_EQ(std::count(port.read_timeouts.begin(), port.read_timeouts.end(), 500u), row.purge_reads);
  if (row.elapsed_ms) {
    EXPECT_EQ(clock.NowMs(), *row.elapsed_ms);
  }
}

XferReply Answer(uint8_t byte) { return {{byte}}; }
XferReply AnswerAtOnce(Bytes bytes) { return {std::move(bytes), 0}; }
const XferReply kSilence{};
const XferReply kAck = Answer(kAckByte);
const XferReply kNak = Answer(kNakByte);
const XferReply kCan = Answer(kCanByte);

std::vector<XferReply> Times(int n, const XferReply& reply) { return std::vector<XferReply>(n, reply); }
std::vector<std::string> Times(int n, const std::string& frame) { return std::vector<std::string>(n, frame); }
template <class T>
std::vector<T> operator+(std::vector<T> a, const std::vector<T>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Acknowledged, SenderAnswers,
    ::testing::Values(
        AnswerRow{"every frame acknowledged", 'C', {}, true, 0, {"C1", "C2", "E"}, 0},
        AnswerRow{"NAK: purge, then the same frame again", 'C', {kNak}, true, 0,
                  {"C1", "C1", "C2", "E"}, 1},
        AnswerRow{"any other byte counts as NAK", 'C', {Answer('x')}, true, 0,
                  {"C1", "C1", "C2", "E"}, 1},
        AnswerRow{"C in CRC mode counts as NAK", 'C', {Answer('C')}, true, 0,
                  {"C1", "C1", "C2", "E"}, 1},
        AnswerRow{"NAK start, then C: this block and all later ones with CRC", kNakByte,
                  {Answer('C')}, true, 0, {"S1", "C1", "C2", "E"}, 0},
        AnswerRow{"NAK start, NAK, then C", kNakByte, {kNak, Answer('C')}, true, 0,
                  {"S1", "S1", "C1", "C2", "E"}, 1},
        AnswerRow{"a C that switches to CRC still counts as a transmission", kNakByte,
                  std::vector{Answer('C')} + Times(19, kNak), false, -202,
                  std::vector<std::string>{"S1"} + Times(19, "C1"), 19},
        AnswerRow{"one CAN, then ACK: accepted", 'C', {kCan}, true, 0, {"C1", "C1", "C2", "E"}, 1},
        AnswerRow{"CAN, then CAN to the resend: cancelled", 'C', {kCan, kCan}, false, -302,
                  {"C1", "C1"}, 1},
        AnswerRow{"a CAN burst counts once, the purge drops the rest", 'C',
                  {{{kCanByte, kCanByte, kCanByte}}}, true, 0, {"C1", "C1", "C2", "E"}, 3},
        AnswerRow{"CAN, NAK, CAN are not two in a row", 'C', {kCan, kNak, kCan}, true, 0,
                  {"C1", "C1", "C1", "C1", "C2", "E"}, 3},
        AnswerRow{"20 NAKs: -202 after exactly 20 frames", 'C', Times(20, kNak), false, -202,
                  Times(20, "C1"), 20},
        AnswerRow{"19 NAKs, then ACK: the 20th goes through", 'C', Times(19, kNak), true, 0,
                  Times(20, "C1") + std::vector<std::string>{"C2", "E"}, 19},
        AnswerRow{"no answer: -200 after 40000 ms, nothing resent", 'C', {kSilence}, false, -200,
                  {"C1"}, 0, {}, 15 + 40000},
        AnswerRow{"NAK to the EOT sends it again", 'C', {kAck, kAck, kNak}, true, 0,
                  {"C1", "C2", "E", "E"}, 1},
        AnswerRow{"the EOT unanswered: -200", 'C', {kAck, kAck, kSilence}, false, -200,
                  {"C1", "C2", "E"}, 0, {}, 15 + 2 + 40000}),
    XferRowName<AnswerRow>);

INSTANTIATE_TEST_SUITE_P(
    Streaming, SenderAnswers,
    ::testing::Values(
        AnswerRow{"blocks are not waited for, the EOT is", 'G', {kSilence, kSilence, kAck}, false, 0,
                  {"C1", "C2", "E"}, 0},
        AnswerRow{"a byte after a block is taken as fine", 'G', {AnswerAtOnce({kNakByte})}, true, 0,
                  {"C1", "C2", "E"}, 0},
        AnswerRow{"NAK to the EOT sends it again", 'G', {kSilence, kSilence, kNak}, true, 0,
                  {"C1", "C2", "E", "E"}, 1},
        AnswerRow{"the EOT unanswered: -200 after 40000 ms", 'G', {kSilence, kSilence, kSilence},
                  false, -200, {"C1", "C2", "E"}, 0, {}, 15 + 40000},
        AnswerRow{"a single CAN does not stop the stream", 'G', {AnswerAtOnce({kCanByte})}, true, 0,
                  {"C1", "C2", "E"}, 0},
        AnswerRow{"CAN after two blocks in a row: cancelled", 'G',
                  {AnswerAtOnce({kCanByte}), AnswerAtOnce({kCanByte})}, false, -302, {"C1", "C2"},
                  0}),
    XferRowName<AnswerRow>);

INSTANTIATE_TEST_SUITE_P(
    Failures, SenderAnswers,
    ::testing::Values(
        AnswerRow{"a failed write passes -104 up", 'C', {}, true, -104, {}, 0, {.fail_write_call = 1}},
        AnswerRow{"a write that moves nothing: -200", 'C', {}, true, -200, {"nothing"}, 0,
                  {.short_write = std::pair{1, 0u}}},
        AnswerRow{"a failed read of the answer passes -105 up", 'C', {}, true, -105, {"C1"}, 0,
                  {.fail_read_call = 4}},
        AnswerRow{"part written, nothing back: the rest follows", 'C', {kSilence}, true, 0,
                  {"C1a", "C1b", "C2", "E"}, 0, {.short_write = std::pair{1, 50u}}},
        AnswerRow{"part written, ACK back: the rest follows", 'C', {AnswerAtOnce({kAckByte})}, true,
                  0, {"C1a", "C1b", "C2", "E"}, 0, {.short_write = std::pair{1, 50u}}},
        AnswerRow{"part written, NAK back: purge and the whole frame again", 'C',
                  {AnswerAtOnce({kNakByte})}, true, 0, {"C1a", "C1", "C2", "E"}, 1,
                  {.short_write = std::pair{1, 50u}}},
        AnswerRow{"part written after a CAN, CAN back: cancelled", 'C',
                  {kCan, AnswerAtOnce({kCanByte})}, false, -302, {"C1", "C1a"}, 1,
                  {.short_write = std::pair{2, 50u}}},
        AnswerRow{"the rest of a partial write fails: -104", 'C', {kSilence}, true, -104, {"C1a"}, 0,
                  {.fail_write_call = 2, .short_write = std::pair{1, 50u}}},
        AnswerRow{"the source fails at once: -300", 'C', {}, true, -300, {}, 0,
                  {.source_fail = std::pair{1, -1}}},
        AnswerRow{"the source fails later: -300 and no EOT", 'C', {}, true, -300, {"C1", "C2"}, 0,
                  {.source_fail = std::pair{2, -400}}}),
    XferRowName<AnswerRow>);

}  // namespace
}  // namespace flashkit
