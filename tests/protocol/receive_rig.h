#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

#include "protocol/xfer_session.h"
#include "tests/support/captured_out.h"
#include "tests/support/fake_port.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/xfer_peer.h"
#include "tests/support/xfer_recording_sink.h"
#include "tests/support/xfer_wire.h"

namespace flashkit::testing {

struct SinkPlan {
  int32_t begin_result = 0;
  std::optional<int> fail_block = {};
  int32_t end_result = 0;
};

struct PortPlan {
  std::optional<int> fail_read_call = {};
  std::optional<int> fail_write_call = {};
  std::optional<std::pair<int, uint32_t>> short_write = {};
};

// One reception: the sender answers each write of the receiver with the
// next reply; the row states every write of the receiver and what reached
// the sink.
struct ReceiveRow {
  const char* name;
  uint32_t timeout_ms;
  std::vector<XferReply> replies;
  int32_t result;
  std::vector<Bytes> writes;
  std::vector<Bytes> blocks;  // data fields, as delivered
  int ends;                   // end-of-file calls
  std::vector<XferRecordingSink::Begun> begun = {};
  SinkPlan sink = {};
  PortPlan port = {};
  std::vector<uint64_t> write_times = {};  // checked when given
};

using Receive = std::function<int32_t(XferSession&, TransferSink&, uint32_t timeout_ms)>;

inline void RunReceiveRow(const ReceiveRow& row, const Receive& receive) {
  VirtualClock clock;
  FakePort port(clock);
  CapturedOut out;
  XferSession session(port, out);
  XferPeer peer(port);
  peer.replies.assign(row.replies.begin(), row.replies.end());
  port.fail_read_call = row.port.fail_read_call;
  port.fail_write_call = row.port.fail_write_call;
  port.short_write = row.port.short_write;
  XferRecordingSink sink;
  sink.begin_result = row.sink.begin_result;
  sink.fail_block = row.sink.fail_block;
  sink.end_result = row.sink.end_result;

  EXPECT_EQ(receive(session, sink, row.timeout_ms), row.result);

  EXPECT_TRUE(SameFrames(port.writes, row.writes)) << "receiver's writes";
  EXPECT_TRUE(SameFrames(sink.blocks, row.blocks)) << "blocks delivered";
  EXPECT_EQ(sink.ends, row.ends);
  EXPECT_EQ(sink.begun, row.begun);
  EXPECT_EQ(out.text(), "");
  for (uint32_t t : port.write_timeouts) EXPECT_EQ(t, 1000u);
  if (!row.write_times.empty()) {
    EXPECT_EQ(peer.write_times, row.write_times);
  }
}

// The frame with one byte inverted.
inline Bytes Damage(Bytes frame, size_t at) {
  frame[at] ^= 0xFF;
  return frame;
}

inline const Bytes kCancelBurst(5, kCanByte);

}  // namespace flashkit::testing
