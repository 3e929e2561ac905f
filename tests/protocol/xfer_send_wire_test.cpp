#include <gtest/gtest.h>

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

enum class Kind { kXmodem, kXmodem1K, kYmodem };

// One data block as the row expects it: start byte, number on the wire, and
// the piece of the file it carries.
struct Piece {
  uint8_t start;
  uint8_t number;
  size_t offset;
  size_t count;
};

// Consecutive blocks of one size over `total` bytes of the file.
std::vector<Piece> Run(uint8_t start, unsigned first_number, size_t offset, size_t total) {
  const size_t size = start == kStxByte ? 1024 : 128;
  std::vector<Piece> pieces;
  for (size_t done = 0; done < total; done += size, ++first_number) {
    pieces.push_back({start, static_cast<uint8_t>(first_number), offset + done,
                      std::min(size, total - done)});
  }
  return pieces;
}

std::vector<Piece> operator+(std::vector<Piece> a, const std::vector<Piece>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct WireRow {
  const char* name;
  Kind kind;
  uint8_t start_char;
  size_t file_size;
  std::vector<Piece> blocks;
};

class SenderWire : public ::testing::TestWithParam<WireRow> {};

// The whole transfer, frame by frame, against a receiver that accepts
// everything. YMODEM sends the file as Dir\Sub\FILE.BIN.
TEST_P(SenderWire, EveryFrameByteForByte) {
  const WireRow& row = GetParam();
  VirtualClock clock;
  FakePort port(clock);
  CapturedOut out;
  XferSession session(port, out);
  XferPeer peer(port);
  const bool ymodem = row.kind == Kind::kYmodem;
  peer.Open({row.start_char});
  peer.fallback = AcceptingReceiver(ymodem, row.start_char);
  const Bytes file = Pattern(row.file_size);
  XferMemorySource source(file);
  const auto size = static_cast<uint32_t>(file.size());

  const int32_t result = ymodem ? session.SendYmodem("Dir\\Sub\\FILE.BIN", size, source, 30000, false)
                                : session.SendXmodem(source, 30000, row.kind == Kind::kXmodem1K, false);

  EXPECT_EQ(result, 0);
  const Check check = row.start_char == kNakByte ? Check::kSum : Check::kCrc;
  std::vector<Bytes> expected;
  if (ymodem) {
    expected.push_back(
        DataFrame(kSohByte, 0, HeaderField("dir/sub/file.bin", std::to_string(size)), check));
  }
  for (const Piece& p : row.blocks) {
    expected.push_back(DataFrame(p.start, p.number, Slice(file, p.offset, p.count), check));
  }
  expected.push_back({kEotByte});
  if (ymodem) expected.push_back(DataFrame(kSohByte, 0, Bytes(128, 0), check));
  EXPECT_TRUE(SameFrames(port.writes, expected));

  // Streaming waits for an answer to the EOT only.
  const auto answer_waits = std::count(port.read_timeouts.begin(), port.read_timeouts.end(), 40000u);
  EXPECT_EQ(static_cast<size_t>(answer_waits), row.start_char == 'G' ? 1 : expected.size());
  EXPECT_FALSE(port.saw_usb_flag);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SenderWire,
    ::testing::Values(
        WireRow{"XMODEM empty file: only the EOT", Kind::kXmodem, 'C', 0, {}},
        WireRow{"XMODEM 300 bytes: three SOH blocks, 84 fill bytes", Kind::kXmodem, 'C', 300,
                Run(kSohByte, 1, 0, 300)},
        WireRow{"XMODEM 1024 bytes: eight SOH blocks", Kind::kXmodem, 'C', 1024,
                Run(kSohByte, 1, 0, 1024)},
        WireRow{"XMODEM 1025 bytes: nine SOH blocks", Kind::kXmodem, 'C', 1025,
                Run(kSohByte, 1, 0, 1025)},
        WireRow{"XMODEM 300 bytes with checksums", Kind::kXmodem, kNakByte, 300,
                Run(kSohByte, 1, 0, 300)},
        WireRow{"XMODEM 128 blocks wrap 255 to 0", Kind::kXmodem, 'C', 260 * 128,
                Run(kSohByte, 1, 0, 260 * 128)},
        WireRow{"XMODEM-1K empty file", Kind::kXmodem1K, 'C', 0, {}},
        WireRow{"XMODEM-1K 300 bytes: still SOH blocks", Kind::kXmodem1K, 'C', 300,
                Run(kSohByte, 1, 0, 300)},
        WireRow{"XMODEM-1K 1024 bytes: one STX block", Kind::kXmodem1K, 'C', 1024,
                Run(kStxByte, 1, 0, 1024)},
        WireRow{"XMODEM-1K 1025 bytes: STX, then SOH with one byte", Kind::kXmodem1K, 'C', 1025,
                Run(kStxByte, 1, 0, 1024) + Run(kSohByte, 2, 1024, 1)},
        WireRow{"XMODEM-1K 1025 bytes with checksums", Kind::kXmodem1K, kNakByte, 1025,
                Run(kStxByte, 1, 0, 1024) + Run(kSohByte, 2, 1024, 1)},
        WireRow{"XMODEM-1K streaming", Kind::kXmodem1K, 'G', 1025,
                Run(kStxByte, 1, 0, 1024) + Run(kSohByte, 2, 1024, 1)},
        WireRow{"XMODEM-1K wraps 255, 0, 1, then SOH 2", Kind::kXmodem1K, 'C', 257 * 1024 + 5,
                Run(kStxByte, 1, 0, 257 * 1024) + Run(kSohByte, 2, 257 * 1024, 5)},
        WireRow{"YMODEM empty file: block 0 with size 0", Kind::kYmodem, 'C', 0, {}},
        WireRow{"YMODEM 300 bytes", Kind::kYmodem, 'C', 300, Run(kSohByte, 1, 0, 300)},
        WireRow{"YMODEM 1024 bytes", Kind::kYmodem, 'C', 1024, Run(kStxByte, 1, 0, 1024)},
        WireRow{"YMODEM 1025 bytes", Kind::kYmodem, 'C', 1025,
                Run(kStxByte, 1, 0, 1024) + Run(kSohByte, 2, 1024, 1)},
        WireRow{"YMODEM 1234 bytes", Kind::kYmodem, 'C', 1234,
                Run(kStxByte, 1, 0, 1024) + Run(kSohByte, 2, 1024, 210)},
        WireRow{"YMODEM with checksums", Kind::kYmodem, kNakByte, 300, Run(kSohByte, 1, 0, 300)},
        WireRow{"YMODEM-G empty file", Kind::kYmodem, 'G', 0, {}},
        WireRow{"YMODEM-G 1025 bytes", Kind::kYmodem, 'G', 1025,
                Run(kStxByte, 1, 0, 1024) + Run(kSohByte, 2, 1024, 1)}),
    XferRowName<WireRow>);

}  // namespace
}  // namespace flashkit
