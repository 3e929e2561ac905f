#include <gtest/gtest.h>

#include <algorithm>

#include "ports/status.h"
#include "tests/ports/port_bench.h"

namespace flashkit::testing {
namespace {

using platform::SysError;

struct ReadRow {
  const char* label;
  uint32_t timeout_ms;
  uint32_t length;
  std::vector<std::pair<uint64_t, Bytes>> script;  // (virtual time, bytes)
  bool read_fails;
  int32_t result;
  Log log;
};

class ComRead : public ::testing::TestWithParam<ReadRow> {};

TEST_P(ComRead, PollsUntilBytesOrTimeOut) {
  const ReadRow& row = GetParam();
  PortBench bench;
  bench.OpenCom();
  for (const auto& [at, bytes] : row.script) bench.system.line.ArriveAt(at, bytes);
  if (row.read_fails) bench.system.line.Fail(DeviceOp::kRead, SysError::kOther);
  Bytes buffer(row.length, 0xEE);
  EXPECT_EQ(bench.port.Read(buffer.data(), row.length, row.timeout_ms, false), row.result);
  EXPECT_EQ(bench.system.log, row.log);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, ComRead,
    ::testing::Values(
        ReadRow{"SilentTimeOutZero", 0, 1, {}, false, 0, {"read"}},
        // One wait for the whole time-out: input or a stop signal ends it early.
        ReadRow{"SilentTimeOut25", 25, 1, {}, false, 0, {"read", "wait 25", "read"}},
        ReadRow{"ThreeOfTenWaiting", 1000, 10, {{0, {'a', 'b', 'c'}}}, false, 3, {"read"}},
        ReadRow{"ByteWhileWaiting", 1000, 4, {{15, {'z'}}}, false, 1, {"read", "wait 1000", "read"}},
        ReadRow{"FailedRead", 1000, 1, {{0, {'a'}}}, true, status::kPortReadFailed, {"read"}}),
    [](const auto& info) { return std::string(info.param.label); });

// A read that brought part of a long frame waits for about the rest's line
// time, then takes what has come: one wake-up for the frame, not one a byte.
struct TopUpRow {
  const char* label;
  uint32_t baud;
  uint32_t length;
  std::vector<std::pair<uint64_t, Bytes>> script;  // (virtual time, bytes)
  int32_t result;
  Log log;
};

class ComReadTopUp : public ::testing::TestWithParam<TopUpRow> {};

TEST_P(ComReadTopUp, WaitsForTheRestOfALongFrame) {
  const TopUpRow& row = GetParam();
  PortBench bench;
  ASSERT_EQ(bench.port.OpenPort(7), 0);
  ASSERT_EQ(bench.port.ConfigurePort(row.baud), 0);
  bench.system.log.clear();
  for (const auto& [at, bytes] : row.script) bench.system.line.ArriveAt(at, bytes);
  Bytes buffer(row.length, 0xEE);
  ASSERT_EQ(bench.port.Read(buffer.data(), row.length, 1000, false), row.result);
  EXPECT_EQ(bench.system.log, row.log);
  Bytes sent;
  for (const auto& part : row.script) sent.insert(sent.end(), part.second.begin(), part.second.end());
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + row.result, sent.begin()));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ComReadTopUp,
    ::testing::Values(
        // 1028 characters take 89 ms at 115200; three quarters of that.
        TopUpRow{"BlockAtLineRate", 115200, 1029, {{0, {0x02}}, {60, Bytes(1028, 0x5A)}}, 1029,
                 {"read", "sleep 66", "read"}},
        TopUpRow{"RestStillComingTakesWhatCame", 115200, 1029,
                 {{0, {0x02}}, {30, Bytes(500, 0x5A)}, {200, Bytes(528, 0x5B)}}, 501,
                 {"read", "sleep 66", "read"}},
        TopUpRow{"SlowLineWaitsAtMost100", 9600, 1029, {{0, {0x02}}, {90, Bytes(1028, 0x5A)}}, 1029,
                 {"read", "sleep 100", "read"}},
        TopUpRow{"ShortRestOnAFastLineNoWait", 921600, 100, {{0, {0x01}}}, 1, {"read"}},
        TopUpRow{"WholeFrameThereNoWait", 115200, 133, {{0, Bytes(133, 0x01)}}, 133, {"read"}}),
    [](const auto& info) { return std::string(info.param.label); });

struct WriteRow {
  const char* label;
  uint32_t timeout_ms;
  std::vector<std::pair<int, size_t>> limits;  // (write call, bytes it takes)
  bool write_fails;
  int32_t result;
  Log log;
};

class ComWrite : public ::testing::TestWithParam<WriteRow> {};

TEST_P(ComWrite, RetriesTheWholeBufferWhileNothingMoves) {
  const WriteRow& row = GetParam();
  const Bytes block = {0x01, 0x00, 0xFF, 'd', 'a', 't', 'a'};
  PortBench bench;
  bench.OpenCom();
  for (const auto& [nth, bytes] : row.limits) bench.system.line.LimitWrite(nth, bytes);
  if (row.write_fails) bench.system.line.Fail(DeviceOp::kWrite, SysError::kOther);

  EXPECT_EQ(bench.port.Write(block.data(), block.size(), row.timeout_ms, false), row.result);
  EXPECT_EQ(bench.system.log, row.log);
  for (const Bytes& offer : bench.system.line.offered) EXPECT_EQ(offer, block);
  EXPECT_TRUE(bench.out.text().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ComWrite,
    ::testing::Values(
        WriteRow{"TakenAtOnce", 100, {}, false, 7, {"write"}},
        WriteRow{"FullTwiceThenTaken", 100, {{1, 0}, {2, 0}}, false, 7,
                 {"write", "sleep 10", "write", "sleep 10", "write"}},
        WriteRow{"PartTaken", 100, {{1, 0}, {2, 3}}, false, 3, {"write", "sleep 10", "write"}},
        WriteRow{"NeverTaken", 15, {{1, 0}, {2, 0}, {3, 0}}, false, 0,
                 {"write", "sleep 10", "write", "sleep 5", "write"}},
        WriteRow{"NeverTakenTimeOutZero", 0, {{1, 0}}, false, 0, {"write"}},
        WriteRow{"Failed", 100, {}, true, status::kPortWriteFailed, {"write"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(UsbTransfer, WithoutPipesFailsAndTracesNothing) {
  PortBench bench;
  bench.OpenCom();
  uint8_t byte = '1';
  EXPECT_EQ(bench.port.Write(&byte, 1, 100, true), status::kPortWriteFailed);
  EXPECT_EQ(bench.port.Read(&byte, 1, 100, true), status::kPortReadFailed);
  EXPECT_TRUE(bench.out.text().empty());
  EXPECT_TRUE(bench.system.log.empty());
}

TEST(UsbTransfer, EachWriteCallTracesTheFirstByte) {
  PortBench bench;
  bench.OpenUsb();
  const Bytes block = {0x01, 0x00, 0x02, 'x'};
  bench.WritePipe().LimitWrite(1, 0);
  EXPECT_EQ(bench.port.Write(block.data(), block.size(), 100, true), 4);
  EXPECT_EQ(bench.out.text(), "Write Data : \x01Write Data : \x01");
  EXPECT_EQ(bench.WritePipe().written, block);
  EXPECT_TRUE(bench.system.line.written.empty());
}

TEST(UsbTransfer, FailedWriteTracesNothing) {
  PortBench bench;
  bench.OpenUsb();
  bench.WritePipe().Fail(DeviceOp::kWrite, SysError::kOther);
  const uint8_t byte = 'A';
  EXPECT_EQ(bench.port.Write(&byte, 1, 100, true), status::kPortWriteFailed);
  EXPECT_TRUE(bench.out.text().empty());
}

TEST(UsbTransfer, ReadsFromTheReadPipe) {
  PortBench bench;
  bench.OpenUsb();
  bench.ReadPipe().Arrive("C", 30);
  uint8_t byte = 0;
  EXPECT_EQ(bench.port.Read(&byte, 1, 100, true), 1);
  EXPECT_EQ(byte, 'C');
  EXPECT_EQ(bench.system.log, (Log{"PIPE00 read", "wait 10", "PIPE00 read", "wait 10", "PIPE00 read",
                                   "wait 10", "PIPE00 read"}));
}

}  // namespace
}  // namespace flashkit::testing
