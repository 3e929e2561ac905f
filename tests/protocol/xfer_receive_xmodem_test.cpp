#include <gtest/gtest.h>

#include "tests/protocol/receive_rig.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit {
namespace {

using namespace testing;
using testing::PrintTo;

// 200 bytes as two 128-byte blocks; 1100 bytes as an STX block and an SOH block.
const Bytes kFile = Pattern(200);
const Bytes kField1 = Slice(kFile, 0, 128);
const Bytes kField2 = Join({Slice(kFile, 128, 72), Bytes(56, 0x1A)});
const Bytes kBig = Pattern(1024);

const Bytes kC1 = DataFrame(kSohByte, 1, kField1, Check::kCrc);
const Bytes kC2 = DataFrame(kSohByte, 2, kField2, Check::kCrc);
const Bytes kS1 = DataFrame(kSohByte, 1, kField1, Check::kSum);
const Bytes kS2 = DataFrame(kSohByte, 2, kField2, Check::kSum);
const Bytes kEot{kEotByte};

using Writes = std::vector<Bytes>;

const Bytes kC{'C'};
const Bytes kAck{kAckByte};
const Bytes kNak{kNakByte};

XferReply Send(Bytes bytes) { return {std::move(bytes)}; }
std::vector<XferReply> Send(std::initializer_list<Bytes> frames) {
  std::vector<XferReply> replies;
  for (const Bytes& f : frames) replies.push_back({f});
  return replies;
}
template <class T>
std::vector<T> operator+(std::vector<T> a, const std::vector<T>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
template <class T>
std::vector<T> Times(int n, const T& item) {
  return std::vector<T>(static_cast<size_t>(n), item);
}

// 257 blocks: numbers 1 to 255, then 0 and 1; with `repeat`, the ACK of
// block 256 (number 0) is lost and it comes again.
ReceiveRow WrapRow(bool repeat = false) {
  ReceiveRow row{"the block after 255 is block 0", 30000, {}, 0, {kC}, {}, 1};
  const Bytes file = Pattern(257 * 128);
  for (unsigned i = 0; i < 257; ++i) {
    const Bytes field = Slice(file, i * 128, 128);
    const Bytes frame = DataFrame(kSohByte, static_cast<uint8_t>(i + 1), field, Check::kCrc);
    row.replies.push_back({frame});
    row.writes.push_back(kAck);
    row.blocks.push_back(field);
    if (repeat && i == 255) {
      row.name = "lost ACK after the 255 to 0 wrap";
      row.replies.push_back({frame});
      row.writes.push_back(kAck);
    }
  }
  row.replies.push_back({kEot});
  row.writes.push_back(kAck);
  return row;
}

// A lost ACK: the sender sends the block again, which is acknowledged again
// and dropped at once, however its data reads.
Bytes Flipped(Bytes field) {
  for (uint8_t& b : field) b ^= 0x5A;
  return field;
}
const Bytes kC1Other = DataFrame(kSohByte, 1, Flipped(kField1), Check::kCrc);

class ReceiverXmodemCrc : public ::testing::TestWithParam<ReceiveRow> {};
class ReceiverXmodemChecksum : public ::testing::TestWithParam<ReceiveRow> {};

TEST_P(ReceiverXmodemCrc, WritesAndDeliveredBlocks) {
  RunReceiveRow(GetParam(), [](XferSession& s, TransferSink& sink, uint32_t t) {
    return s.ReceiveXmodem(sink, t, true, false);
  });
}

TEST_P(ReceiverXmodemChecksum, WritesAndDeliveredBlocks) {
  RunReceiveRow(GetParam(), [](XferSession& s, TransferSink& sink, uint32_t t) {
    return s.ReceiveXmodem(sink, t, false, false);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, ReceiverXmodemCrc,
    ::testing::Values(
        ReceiveRow{"133-byte blocks, fill bytes kept", 30000, Send({kC1, kC2, kEot}), 0,
                   {kC, kAck, kAck, kAck}, {kField1, kField2}, 1},
        ReceiveRow{"a 1029-byte STX block", 30000,
                   Send({DataFrame(kStxByte, 1, kBig, Check::kCrc), kEot}), 0, {kC, kAck, kAck},
                   {kBig}, 1},
        ReceiveRow{"an EOT first: an empty file", 30000, Send({kEot}), 0, {kC, kAck}, {}, 1},
        WrapRow()),
    XferRowName<ReceiveRow>);

INSTANTIATE_TEST_SUITE_P(
    Accepted, ReceiverXmodemChecksum,
    ::testing::Values(
        ReceiveRow{"132-byte blocks", 30000, Send({kS1, kS2, kEot}), 0, {kNak, kAck, kAck, kAck},
                   {kField1, kField2}, 1},
        ReceiveRow{"a 1028-byte STX block", 30000,
                   Send({DataFrame(kStxByte, 1, kBig, Check::kSum), kEot}), 0, {kNak, kAck, kAck},
                   {kBig}, 1}),
    XferRowName<ReceiveRow>);

// A rejected frame: 11000 ms of silence after it, then the reply character,
// then the good frame. The first frame arrives 1 ms after the 'C'.
INSTANTIATE_TEST_SUITE_P(
    Rejected, ReceiverXmodemCrc,
    ::testing::Values(
        ReceiveRow{"bad complement", 30000, Send({Damage(kC1, 2), kC1, kC2, kEot}), 0,
                   {kC, kC, kAck, kAck, kAck}, {kField1, kField2}, 1, {}, {}, {}, {0, 11001, 11002, 11003, 11004}},
        ReceiveRow{"wrong block number", 30000,
                   Send({DataFrame(kSohByte, 2, kField1, Check::kCrc), kC1, kC2, kEot}), 0,
                   {kC, kC, kAck, kAck, kAck}, {kField1, kField2}, 1},
        ReceiveRow{"wrong start byte", 30000, Send({Damage(kC1, 0), kC1, kC2, kEot}), 0,
                   {kC, kC, kAck, kAck, kAck}, {kField1, kField2}, 1},
        ReceiveRow{"a damaged data byte", 30000, Send({Damage(kC1, 60), kC1, kC2, kEot}), 0,
                   {kC, kC, kAck, kAck, kAck}, {kField1, kField2}, 1},
        ReceiveRow{"bad CRC low byte", 30000, Send({Damage(kC1, 132), kC1, kC2, kEot}), 0,
                   {kC, kC, kAck, kAck, kAck}, {kField1, kField2}, 1},
        ReceiveRow{"a short frame: 11000 ms for the rest, 11000 ms of silence", 30000,
                   Send({Slice(kC1, 0, 100), kC1, kC2, kEot}), 0, {kC, kC, kAck, kAck, kAck},
                   {kField1, kField2}, 1, {}, {}, {}, {0, 22001, 22002, 22003, 22004}},
        ReceiveRow{"a checksum frame leaves the CRC receiver waiting for byte 133", 30000,
                   Send({kS1, kC1, kC2, kEot}), 0, {kC, kC, kAck, kAck, kAck}, {kField1, kField2}, 1,
                   {}, {}, {}, {0, 22001, 22002, 22003, 22004}},
        ReceiveRow{"a block two back is rejected", 30000, Send({kC1, kC2, kC1, kEot}), 0,
                   {kC, kAck, kAck, kC, kAck}, {kField1, kField2}, 1},
        ReceiveRow{"a sender's CAN is only a broken frame", 30000,
                   Send({Bytes(5, kCanByte), kC1, kC2, kEot}), 0, {kC, kC, kAck, kAck, kAck},
                   {kField1, kField2}, 1},
        ReceiveRow{"19 rejections, then accepted", 30000,
                   Times(19, Send(Damage(kC1, 2))) + Send({kC1, kC2, kEot}), 0,
                   Writes{kC} + Times(19, kC) + Writes{kAck, kAck, kAck}, {kField1, kField2},
                   1},
        ReceiveRow{"20 rejections: -203 and cancel", 30000, Times(20, Send(Damage(kC1, 2))), -203,
                   Writes{kC} + Times(20, kC) + Writes{kCancelBurst}, {}, 0}),
    XferRowName<ReceiveRow>);

INSTANTIATE_TEST_SUITE_P(
    Rejected, ReceiverXmodemChecksum,
    ::testing::Values(
        ReceiveRow{"bad checksum: answered with NAK", 30000, Send({Damage(kS1, 131), kS1, kS2, kEot}),
                   0, {kNak, kNak, kAck, kAck, kAck}, {kField1, kField2}, 1}),
    XferRowName<ReceiveRow>);

INSTANTIATE_TEST_SUITE_P(
    Failures, ReceiverXmodemCrc,
    ::testing::Values(
        ReceiveRow{"silent sender: C three times, 11000 ms apart, no cancel", 30000, {}, -200,
                   {kC, kC, kC}, {}, 0, {}, {}, {}, {0, 11000, 22000}},
        ReceiveRow{"time-out below 11000: one C", 10999, {}, -200, {kC}, {}, 0},
        ReceiveRow{"time-out 11000: two", 11000, {}, -200, {kC, kC}, {}, 0},
        ReceiveRow{"a C that does not go out is sent again", 30000, Send({kC1, kC2, kEot}), 0,
                   {{}, kC, kAck, kAck, kAck}, {kField1, kField2}, 1, {}, {},
                   {.short_write = std::pair{1, 0u}}},
        ReceiveRow{"silence in mid-file: -200 and cancel", 30000, Send({kC1}), -200,
                   {kC, kAck, kCancelBurst}, {kField1}, 0},
        ReceiveRow{"the sink refuses a block: its status and cancel", 30000, Send({kC1, kC2}), -400,
                   {kC, kAck, kCancelBurst}, {kField1}, 0, {}, {.fail_block = 2}},
        ReceiveRow{"the sink refuses the end: its status and cancel", 30000, Send({kC1, kC2, kEot}),
                   -400, {kC, kAck, kAck, kAck, kCancelBurst}, {kField1, kField2}, 1, {},
                   {.end_result = -400}},
        ReceiveRow{"a failed read: -105 and cancel", 30000, Send({kC1}), -105, {kC, kCancelBurst}, {},
                   0, {}, {}, {.fail_read_call = 1}},
        ReceiveRow{"a failed C: -104 and cancel", 30000, {}, -104, {kCancelBurst}, {}, 0, {}, {},
                   {.fail_write_call = 1}},
        ReceiveRow{"an ACK that does not go out: -200 and cancel", 30000, Send({kC1, kC2}), -200,
                   {kC, kAck, {}, kCancelBurst}, {kField1, kField2}, 0, {}, {},
                   {.short_write = std::pair{3, 0u}}}),
    XferRowName<ReceiveRow>);

INSTANTIATE_TEST_SUITE_P(
    LostAck, ReceiverXmodemCrc,
    ::testing::Values(
        ReceiveRow{"block 1 again: ACK again, no wait", 30000, Send({kC1, kC1, kC2, kEot}), 0,
                   {kC, kAck, kAck, kAck, kAck}, {kField1, kField2}, 1, {}, {}, {},
                   {0, 1, 2, 3, 4}},
        ReceiveRow{"block 1 again with other data: dropped all the same", 30000,
                   Send({kC1, kC1Other, kC2, kEot}), 0, {kC, kAck, kAck, kAck, kAck},
                   {kField1, kField2}, 1},
        ReceiveRow{"20 repeats in a row still spend no attempt", 30000,
                   Send({kC1}) + std::vector<XferReply>(20, XferReply{kC1}) + Send({kC2, kEot}), 0,
                   Writes{kC} + Times(21, kAck) + Writes{kAck, kAck}, {kField1, kField2}, 1},
        ReceiveRow{"a damaged repeat is rejected", 30000, Send({kC1, Damage(kC1, 60), kC2, kEot}),
                   0, {kC, kAck, kC, kAck, kAck}, {kField1, kField2}, 1},
        WrapRow(true)),
    XferRowName<ReceiveRow>);

INSTANTIATE_TEST_SUITE_P(
    LostAck, ReceiverXmodemChecksum,
    ::testing::Values(ReceiveRow{"block 1 again: ACK again, no wait", 30000,
                                 Send({kS1, kS1, kS2, kEot}), 0, {kNak, kAck, kAck, kAck, kAck},
                                 {kField1, kField2}, 1, {}, {}, {}, {0, 1, 2, 3, 4}}),
    XferRowName<ReceiveRow>);

}  // namespace
}  // namespace flashkit
