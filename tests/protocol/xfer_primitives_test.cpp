#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "protocol/xfer_session.h"
#include "tests/support/captured_out.h"
#include "tests/support/fake_port.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/xfer_row_name.h"
#include "tests/support/xfer_wire.h"

namespace flashkit {
namespace {

using namespace testing;
using testing::PrintTo;

struct Rig {
  VirtualClock clock;
  FakePort port{clock};
  CapturedOut out;
  XferSession session{port, out};
};

// One byte read with a time-out, against what the line holds.
struct ReadRow {
  const char* name;
  Bytes arriving;
  uint64_t arrives_after_ms;
  std::optional<int> fail_read_call;
  uint32_t timeout_ms;
  int32_t result;
  uint64_t elapsed_ms;
};

class ReadByteRows : public ::testing::TestWithParam<ReadRow> {};

TEST_P(ReadByteRows, ByteTimeOutOrPortStatus) {
  const ReadRow& row = GetParam();
  Rig rig;
  rig.port.Arrive(row.arriving, row.arrives_after_ms);
  rig.port.fail_read_call = row.fail_read_call;
  EXPECT_EQ(rig.session.ReadByte(row.timeout_ms, true), row.result);
  EXPECT_EQ(rig.port.read_timeouts, std::vector<uint32_t>{row.timeout_ms});
  EXPECT_EQ(rig.clock.NowMs(), row.elapsed_ms);
  EXPECT_TRUE(rig.port.saw_usb_flag);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadByteRows,
    ::testing::Values(
        ReadRow{"a waiting byte", {'C'}, 0, {}, 10, 'C', 0},
        ReadRow{"0xFF is a byte, not a failure", {0xFF, 0x00}, 0, {}, 10, 255, 0},
        ReadRow{"a byte within the time-out", {kAckByte}, 300, {}, 40000, kAckByte, 300},
        ReadRow{"nothing within the time-out", {}, 0, {}, 500, -200, 500},
        ReadRow{"time-out 0 takes only what has arrived", {'C'}, 5, {}, 0, -200, 0},
        ReadRow{"the port's failure unchanged", {'C'}, 0, 1, 10, -105, 0}),
    XferRowName<ReadRow>);

// Every write the primitives make: what goes on the wire, with which time-out.
struct WriteRow {
  const char* name;
  std::function<int32_t(XferSession&)> act;
  std::optional<int> fail_write_call;
  std::optional<std::pair<int, uint32_t>> short_write;
  int32_t result;
  Bytes written;
};

class WriteRows : public ::testing::TestWithParam<WriteRow> {};

TEST_P(WriteRows, BytesOnTheWireWithOneSecondTimeOut) {
  const WriteRow& row = GetParam();
  Rig rig;
  rig.port.fail_write_call = row.fail_write_call;
  rig.port.short_write = row.short_write;
  EXPECT_EQ(row.act(rig.session), row.result);
  EXPECT_EQ(rig.port.written, row.written);
  EXPECT_EQ(rig.port.write_calls, 1);
  EXPECT_EQ(rig.port.write_timeouts, std::vector<uint32_t>{1000});
}

int32_t WriteAck(XferSession& s) { return s.WriteByte(kAckByte, false); }
int32_t Cancel(XferSession& s) {
  s.SendCancel(false);
  return 0;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WriteRows,
    ::testing::Values(
        WriteRow{"a byte written", WriteAck, {}, {}, 1, {kAckByte}},
        WriteRow{"a byte that does not move times out", WriteAck, {}, std::pair{1, 0u}, -200, {}},
        WriteRow{"the port's failure unchanged", WriteAck, 1, {}, -104, {}},
        WriteRow{"cancel: five CAN in one write", Cancel, {}, {}, 0,
                 Bytes(5, kCanByte)},
        WriteRow{"cancel on a failing port is quiet", Cancel, 1, {}, 0, {}}),
    XferRowName<WriteRow>);

// Answers classified in sequence by one session: two CAN in a row cancel.
struct ClassifyRow {
  const char* name;
  std::vector<int32_t> replies;
  std::vector<int32_t> results;
};

class ClassifyReplyRows : public ::testing::TestWithParam<ClassifyRow> {};

TEST_P(ClassifyReplyRows, AckOtherOrCancel) {
  const ClassifyRow& row = GetParam();
  Rig rig;
  std::vector<int32_t> results;
  for (int32_t reply : row.replies) results.push_back(rig.session.ClassifyReply(reply));
  EXPECT_EQ(results, row.results);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ClassifyReplyRows,
    ::testing::Values(
        ClassifyRow{"ACK", {kAckByte}, {1}},
        ClassifyRow{"NAK and other bytes", {kNakByte, 'C', 0x00}, {0, 0, 0}},
        ClassifyRow{"one CAN is just a refusal", {kCanByte, kAckByte}, {0, 1}},
        ClassifyRow{"two CAN in a row cancel", {kCanByte, kCanByte}, {0, -302}},
        ClassifyRow{"a third CAN still cancels", {kCanByte, kCanByte, kCanByte}, {0, -302, -302}},
        ClassifyRow{"another byte between CANs breaks the row", {kCanByte, kNakByte, kCanByte},
                    {0, 0, 0}},
        ClassifyRow{"a time-out between CANs does not", {kCanByte, -200, kCanByte}, {0, -200, -302}},
        ClassifyRow{"port statuses unchanged", {-105, -104}, {-105, -104}}),
    XferRowName<ClassifyRow>);

}  // namespace
}  // namespace flashkit
