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

// A YMODEM send of a 100-byte file: the device request, block 0 (H), the
// start character again, block 1 (D1), the EOT (E), the start character
// again, the closing block 0 (Z).
struct YmodemRow {
  const char* name;
  std::string file_name;
  std::string wire_name;  // the name block 0 must carry
  bool use_usb;
  int32_t request_result;
  std::vector<XferReply> replies;  // one per write of the sender
  int32_t result;
  std::vector<std::string> writes;
  std::optional<uint64_t> elapsed_ms = {};
};

class SenderYmodem : public ::testing::TestWithParam<YmodemRow> {};

TEST_P(SenderYmodem, BatchPhasesAndTheirFailures) {
  const YmodemRow& row = GetParam();
  VirtualClock clock;
  FakePort port(clock);
  CapturedOut out;
  XferSession session(port, out);
  XferPeer peer(port);
  peer.Open({'C'}, 15);
  peer.replies.assign(row.replies.begin(), row.replies.end());
  port.request_result = row.request_result;
  const Bytes file = Pattern(100);
  XferMemorySource source(file);

  EXPECT_EQ(session.SendYmodem(row.file_name.c_str(), 100, source, 30000, row.use_usb), row.result);

  EXPECT_EQ(port.requests, std::vector<std::string>{row.file_name});
  EXPECT_EQ(port.saw_usb_flag, row.use_usb);
  const std::map<std::string, Bytes> frames{
      {"H", DataFrame(kSohByte, 0, HeaderField(row.wire_name, "100"), Check::kCrc)},
      {"D1", DataFrame(kSohByte, 1, file, Check::kCrc)},
      {"E", {kEotByte}},
      {"Z", DataFrame(kSohByte, 0, Bytes(128, 0), Check::kCrc)},
  };
  std::vector<Bytes> expected;
  for (const std::string& key : row.writes) expected.push_back(frames.at(key));
  EXPECT_TRUE(SameFrames(port.writes, expected));
  if (row.elapsed_ms) {
    EXPECT_EQ(clock.NowMs(), *row.elapsed_ms);
  }
  if (row.result == -303) {
    EXPECT_EQ(port.read_calls, 0) << "waited for the receiver before refusing the header";
  }
}

XferReply Answer(Bytes bytes) { return {std::move(bytes)}; }
const XferReply kAckC = Answer({kAckByte, 'C'});
const XferReply kAck = Answer({kAckByte});
const XferReply kNak = Answer({kNakByte});
const std::string kTooLong(123, 'n');  // 123 + 1 + 3 digits: one byte too many

INSTANTIATE_TEST_SUITE_P(
    Rows, SenderYmodem,
    ::testing::Values(
        YmodemRow{"the whole batch", "fw.bin", "fw.bin", false, 1, {kAckC, kAck, kAckC, kAck}, 0,
                  {"H", "D1", "E", "Z"}},
        YmodemRow{"the request gets the name unchanged and the USB flag", "Dir\\Sub\\FILE.BIN",
                  "dir/sub/file.bin", true, 1, {kAckC, kAck, kAckC, kAck}, 0, {"H", "D1", "E", "Z"}},
        YmodemRow{"the request's result is not examined", "fw.bin", "fw.bin", false, -300,
                  {kAckC, kAck, kAckC, kAck}, 0, {"H", "D1", "E", "Z"}},
        YmodemRow{"block 0 NAKed is sent again", "fw.bin", "fw.bin", false, 1,
                  {kNak, kAckC, kAck, kAckC, kAck}, 0, {"H", "H", "D1", "E", "Z"}},
        YmodemRow{"no start character after block 0: -200 after 11000 ms", "fw.bin", "fw.bin", false,
                  1, {kAck}, -200, {"H"}, 15 + 1 + 11000},
        YmodemRow{"another byte after block 0: -301", "fw.bin", "fw.bin", false, 1,
                  {Answer({kAckByte, 'x'})}, -301, {"H"}},
        YmodemRow{"no start character after the EOT: -200 after 11000 ms", "fw.bin", "fw.bin", false,
                  1, {kAckC, kAck, kAck}, -200, {"H", "D1", "E"}, 15 + 3 + 11000},
        YmodemRow{"another byte after the EOT: -301", "fw.bin", "fw.bin", false, 1,
                  {kAckC, kAck, Answer({kAckByte, kNakByte})}, -301, {"H", "D1", "E"}},
        YmodemRow{"the closing block 0 NAKed is sent again", "fw.bin", "fw.bin", false, 1,
                  {kAckC, kAck, kAckC, kNak, kAck}, 0, {"H", "D1", "E", "Z", "Z"}},
        YmodemRow{"the closing block 0 unanswered: -200", "fw.bin", "fw.bin", false, 1,
                  {kAckC, kAck, kAckC, {}}, -200, {"H", "D1", "E", "Z"}},
        YmodemRow{"name and size too long: -303 after the request, nothing sent", kTooLong, "", false,
                  1, {}, -303, {}, 0}),
    XferRowName<YmodemRow>);

}  // namespace
}  // namespace flashkit
