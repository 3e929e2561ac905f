#include <gtest/gtest.h>

#include "tests/protocol/receive_rig.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit {
namespace {

using namespace testing;
using testing::PrintTo;

// fw.bin, 300 bytes: block 0 (H), three 128-byte blocks (D1-D3), the EOT (E)
// and the closing block 0 (Z).
const Bytes kFile = Pattern(300);
const Bytes kField1 = Slice(kFile, 0, 128);
const Bytes kField2 = Slice(kFile, 128, 128);
const Bytes kField3 = Join({Slice(kFile, 256, 44), Bytes(84, 0x1A)});

Bytes Block0(const Bytes& field) {
  return DataFrame(field.size() == 1024 ? kStxByte : kSohByte, 0, field, Check::kCrc);
}
Bytes Field1K(std::string_view name, std::string_view digits) {
  Bytes field = HeaderField(name, digits);
  field.resize(1024, 0);
  return field;
}

const Bytes kH = Block0(HeaderField("fw.bin", "300"));
const Bytes kD1 = DataFrame(kSohByte, 1, kField1, Check::kCrc);
const Bytes kD2 = DataFrame(kSohByte, 2, kField2, Check::kCrc);
const Bytes kD3 = DataFrame(kSohByte, 3, kField3, Check::kCrc);
const Bytes kE{kEotByte};
const Bytes kZ = Block0(Bytes(128, 0));
const Bytes kNothing{};

using Writes = std::vector<Bytes>;
const Bytes kC{'C'};
const Bytes kG{'G'};
const Bytes kAck{kAckByte};
const Bytes kNak{kNakByte};

const XferRecordingSink::Begun kFwBin{"fw.bin", 300};

std::vector<XferReply> Send(std::initializer_list<Bytes> frames) {
  std::vector<XferReply> replies;
  for (const Bytes& f : frames) replies.push_back({f});
  return replies;
}

// The sender's side of one good file, answering C, ACK (block 0), C, ACK,
// ACK, ACK (blocks 1-3); what the receiver writes for it.
const std::vector<XferReply> kOneFile = Send({kH, kNothing, kD1, kD2, kD3, kE});
const Writes kOneFileWrites{kC, kAck, kC, kAck, kAck, kAck, kAck};
const Writes kFields{kField1, kField2, kField3};

template <class T>
std::vector<T> operator+(std::vector<T> a, const std::vector<T>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class ReceiverYmodem : public ::testing::TestWithParam<ReceiveRow> {};
class ReceiverYmodemG : public ::testing::TestWithParam<ReceiveRow> {};

TEST_P(ReceiverYmodem, WritesFilesAndBlocks) {
  RunReceiveRow(GetParam(), [](XferSession& s, TransferSink& sink, uint32_t t) {
    return s.ReceiveYmodem(sink, t, false, false);
  });
}

TEST_P(ReceiverYmodemG, WritesFilesAndBlocks) {
  RunReceiveRow(GetParam(), [](XferSession& s, TransferSink& sink, uint32_t t) {
    return s.ReceiveYmodem(sink, t, true, false);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Batches, ReceiverYmodem,
    ::testing::Values(
        ReceiveRow{"one file: whole blocks, the sink cuts to size", 30000,
                   kOneFile + Send({kNothing, kZ}), 0, kOneFileWrites + Writes{kC, kAck}, kFields, 1,
                   {kFwBin}},
        ReceiveRow{"a 1024-byte block 0 names the file as well", 30000,
                   Send({Block0(Field1K("fw.bin", "300")), kNothing, kD1, kD2, kD3, kE, kNothing, kZ}),
                   0, kOneFileWrites + Writes{kC, kAck}, kFields, 1, {kFwBin}},
        ReceiveRow{"an EOT in place of block 0: complete, no file", 30000, Send({kE}), 0, {kC, kAck},
                   {}, 0},
        ReceiveRow{"only the closing block 0: complete, no file", 30000, Send({kZ}), 0, {kC, kAck}, {},
                   0},
        ReceiveRow{"an EOT after the file ends the batch", 30000, kOneFile + Send({kNothing, kE}), 0,
                   kOneFileWrites + Writes{kC, kAck}, kFields, 1, {kFwBin}},
        ReceiveRow{"a second file: -404 without cancel", 30000,
                   kOneFile + Send({kNothing, Block0(HeaderField("two.bin", "5"))}), -404,
                   kOneFileWrites + Writes{kC, kAck}, kFields, 1, {kFwBin}},
        ReceiveRow{"a rejected block 0 is answered with C", 30000,
                   Send({Damage(kH, 50)}) + kOneFile + Send({kNothing, kZ}), 0,
                   Writes{kC, kC, kAck, kC, kAck, kAck, kAck, kAck, kC, kAck}, kFields, 1, {kFwBin}},
        ReceiveRow{"a rejected data block is answered with NAK", 30000,
                   Send({kH, kNothing, Damage(kD1, 50), kD1, kD2, kD3, kE, kNothing, kZ}), 0,
                   Writes{kC, kAck, kC, kNak, kAck, kAck, kAck, kAck, kC, kAck}, kFields, 1, {kFwBin}}),
    XferRowName<ReceiveRow>);

INSTANTIATE_TEST_SUITE_P(
    BadHeaders, ReceiverYmodem,
    ::testing::Values(
        ReceiveRow{"a letter in the size: -403 and cancel", 30000,
                   Send({Block0(HeaderField("fw.bin", "3x0"))}), -403, {kC, kAck, kCancelBurst}, {}, 0},
        ReceiveRow{"no zero byte after the name: -403 and cancel", 30000,
                   Send({Block0(Bytes(128, 'a'))}), -403, {kC, kAck, kCancelBurst}, {}, 0},
        ReceiveRow{"a size past 32 bits: -403 and cancel", 30000,
                   Send({Block0(HeaderField("fw.bin", "10000000000"))}), -403, {kC, kAck, kCancelBurst},
                   {}, 0}),
    XferRowName<ReceiveRow>);

INSTANTIATE_TEST_SUITE_P(
    Failures, ReceiverYmodem,
    ::testing::Values(
        ReceiveRow{"silent sender: C three times, -200, no cancel", 30000, {}, -200, {kC, kC, kC}, {}, 0,
                   {}, {}, {}, {0, 11000, 22000}},
        ReceiveRow{"silent after a file: C three times, -200, then cancel", 30000, kOneFile, -200,
                   kOneFileWrites + Writes{kC, kC, kC, kCancelBurst}, kFields, 1, {kFwBin}},
        ReceiveRow{"no data after block 0: -200 and cancel", 30000, Send({kH}), -200,
                   {kC, kAck, kC, kCancelBurst}, {}, 0, {kFwBin}},
        ReceiveRow{"the sink refuses the file: its status and cancel", 30000, Send({kH}), -400,
                   {kC, kAck, kCancelBurst}, {}, 0, {kFwBin}, {.begin_result = -400}},
        ReceiveRow{"the sink refuses data: its status and cancel", 30000,
                   Send({kH, kNothing, kD1, kD2}), -400, {kC, kAck, kC, kAck, kCancelBurst}, {kField1},
                   0, {kFwBin}, {.fail_block = 2}}),
    XferRowName<ReceiveRow>);

INSTANTIATE_TEST_SUITE_P(
    Streaming, ReceiverYmodemG,
    ::testing::Values(
        ReceiveRow{"block 0 and data not acknowledged, the EOT is", 30000,
                   Send({kH, Join({kD1, kD2, kD3, kE}), kNothing, kZ}), 0, {kG, kG, kAck, kG}, kFields,
                   1, {kFwBin}},
        ReceiveRow{"a damaged block cancels at once: nothing would resend it", 30000,
                   Send({kH, Join({kD1, Damage(kD2, 50), kD3, kE})}), -203, {kG, kG, kCancelBurst},
                   {kField1}, 0, {kFwBin}, {}, {}, {0, 1, 2}}),
    XferRowName<ReceiveRow>);

// A lost ACK: the sender sends the block again. Block 0 again is answered
// with ACK and C again (the sender took the first C for a rejection), is not
// read as a second file, and no block waits.
INSTANTIATE_TEST_SUITE_P(
    LostAck, ReceiverYmodem,
    ::testing::Values(
        ReceiveRow{"block 0 again: ACK and C again, one file", 30000,
                   Send({kH, kNothing, kH, kNothing, kD1, kD2, kD3, kE, kNothing, kZ}), 0,
                   Writes{kC, kAck, kC, kAck, kC, kAck, kAck, kAck, kAck, kC, kAck}, kFields, 1,
                   {kFwBin}, {}, {}, {0, 1, 1, 2, 2, 3, 4, 5, 6, 6, 7}},
        ReceiveRow{"block 1 again: ACK again", 30000,
                   Send({kH, kNothing, kD1, kD1, kD2, kD3, kE, kNothing, kZ}), 0,
                   Writes{kC, kAck, kC, kAck, kAck, kAck, kAck, kAck, kC, kAck}, kFields, 1,
                   {kFwBin}, {}, {}, {0, 1, 1, 2, 3, 4, 5, 6, 6, 7}},
        ReceiveRow{"the last block again after the EOT is rejected", 30000,
                   kOneFile + Send({kNothing, kD3, kZ}), 0,
                   kOneFileWrites + Writes{kC, kNak, kAck}, kFields, 1, {kFwBin}}),
    XferRowName<ReceiveRow>);

}  // namespace
}  // namespace flashkit
