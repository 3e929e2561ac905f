#include "gui/links/serial_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/gui/links/serial_rig.h"

namespace flashkit {
namespace {

using testing::Bytes;
using testing::SerialRig;
using testing::ThreadCount;

constexpr int32_t kComThree = 2;  // the port index of COM3
constexpr uint8_t kNoStopCode = 0;
constexpr uint8_t kEvenCode = 2;

void SetEightEvenOne(SerialPort& port, int32_t index = kComThree) {
  port.SetParams(index, 115200, 8, kNoStopCode, kEvenCode);
}

// No period of 251 divides the ring's 4096: a byte out of place shows.
Bytes Pattern(size_t n) {
  Bytes bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i % 251);
  return bytes;
}

// Takes `n` bytes as they come, at most ten seconds long.
Bytes TakeAll(SerialPort& port, size_t n) {
  Bytes got;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (got.size() < n && std::chrono::steady_clock::now() < give_up) {
    uint8_t byte = 0;
    if (port.TakeByte(&byte) == 1) {
      got.push_back(byte);
    } else {
      port.PauseForInput(50);
    }
  }
  return got;
}

uint64_t MsSince(std::chrono::steady_clock::time_point start) {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - start)
                                   .count());
}

TEST(SerialPortOpen, SetsTheLineUpAsAskedAndRuns) {
  SerialRig rig;
  const size_t threads = ThreadCount();
  SetEightEvenOne(rig.port);
  ASSERT_EQ(rig.port.Open(), 1);
  EXPECT_EQ(rig.system.log, (std::vector<std::string>{"open COM3", "reads at once", "purge",
                                                       "get settings", "set settings", "dtr off"}));
  ASSERT_EQ(rig.system.applied.size(), 1u);
  const platform::LineSettings& applied = rig.system.applied[0];
  EXPECT_EQ(applied.baud, 115200u);
  EXPECT_EQ(applied.byte_size, 8);
  EXPECT_EQ(applied.parity, platform::Parity::kEven);
  EXPECT_EQ(applied.stop_bits, platform::StopBits::kOne);
  EXPECT_FALSE(applied.rts_cts);
  EXPECT_EQ(ThreadCount(), threads + 1) << "one reader thread";
  EXPECT_TRUE(rig.boxes.texts.empty());
  EXPECT_EQ(rig.port.Close(), 1);
}

// Ring rows: how many bytes the board sends and whether the caller lets the
// ring fill up before it takes any.
struct RingRow {
  const char* name;
  size_t bytes;
  bool fill_first;
};

class SerialPortRing : public ::testing::TestWithParam<RingRow> {};

TEST_P(SerialPortRing, EveryByteComesOutInOrder) {
  SerialRig rig;
  SetEightEvenOne(rig.port);
  ASSERT_EQ(rig.port.Open(), 1);
  const Bytes sent = Pattern(GetParam().bytes);
  bool sent_all = false;
  std::thread board([&] { sent_all = rig.Send(sent); });
  if (GetParam().fill_first) {
    EXPECT_TRUE(rig.AwaitUnread(SerialPort::kRingSize - 1)) << "the ring never filled up";
    // The reader waits for room while the rest stays queued in the line.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(rig.port.Unread(), SerialPort::kRingSize - 1);
  }
  const Bytes got = TakeAll(rig.port, sent.size());
  board.join();
  EXPECT_TRUE(sent_all);
  EXPECT_EQ(got.size(), sent.size());
  EXPECT_TRUE(got == sent) << "bytes lost, doubled or out of order";
  uint8_t byte = 0xA5;
  EXPECT_EQ(rig.port.TakeByte(&byte), 0);
  EXPECT_EQ(rig.port.Close(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SerialPortRing,
    ::testing::Values(RingRow{"OneLapAndABit", SerialPort::kRingSize + 904, false},
                      RingRow{"ThreeRingsAgainstAFullRing", 3 * SerialPort::kRingSize, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SerialPortTake, EmptyRingLeavesTheBytePlaceAlone) {
  SerialRig rig;
  uint8_t byte = 0xA5;
  EXPECT_EQ(rig.port.TakeByte(&byte), 0) << "never opened";
  SetEightEvenOne(rig.port);
  ASSERT_EQ(rig.port.Open(), 1);
  EXPECT_EQ(rig.port.TakeByte(&byte), 0);
  EXPECT_EQ(byte, 0xA5);
  rig.port.Close();
}

struct WaitRow {
  const char* name;
  int others_first;  // bytes that are not the expected one, ahead of it
  bool expected_sent;
  int32_t result;
  size_t pauses;
  bool expected_left;  // the expected byte still waits in the ring
};

class SerialPortWait : public ::testing::TestWithParam<WaitRow> {};

TEST_P(SerialPortWait, TakesAtMost101Bytes) {
  constexpr uint8_t kAck = 0x79;
  SerialRig rig;
  SetEightEvenOne(rig.port);
  ASSERT_EQ(rig.port.Open(), 1);
  const WaitRow& row = GetParam();
  Bytes board(static_cast<size_t>(row.others_first), 0x1F);
  if (row.expected_sent) board.push_back(kAck);
  ASSERT_TRUE(rig.Send(board));
  ASSERT_TRUE(rig.AwaitUnread(static_cast<int32_t>(board.size())));

  EXPECT_EQ(rig.port.WaitForByte(kAck), row.result);
  EXPECT_EQ(rig.system.time.sleeps, std::vector<uint32_t>(row.pauses, 1));
  uint8_t byte = 0;
  EXPECT_EQ(rig.port.TakeByte(&byte), row.expected_left ? 1 : 0);
  if (row.expected_left) {
    EXPECT_EQ(byte, kAck);
  }
  rig.port.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SerialPortWait,
    ::testing::Values(WaitRow{"ExpectedFirst", 0, true, 1, 0, false},
                      WaitRow{"HundredOthersFirst", 100, true, 1, 100, false},
                      WaitRow{"HundredAndOneOthersFirst", 101, true, -1, 100, true},
                      WaitRow{"NothingArrives", 0, false, -1, 100, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SerialPortClose, EndsTheWaitingReaderAtOnce) {
  SerialRig rig;
  const size_t threads = ThreadCount();
  SetEightEvenOne(rig.port);
  ASSERT_EQ(rig.port.Open(), 1);
  rig.port.PauseForInput(20);  // the reader is blocked on the quiet line
  rig.system.log.clear();

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(rig.port.Close(), 1);
  EXPECT_LT(MsSince(start), 200u);
  EXPECT_EQ(ThreadCount(), threads) << "the reader outlived Close";
  EXPECT_EQ(rig.system.log, (std::vector<std::string>{"dtr off", "purge", "close"}));
  EXPECT_TRUE(platform::RealSystem().OpenSerial("COM3").device) << "the line is still held";
  EXPECT_EQ(rig.port.Close(), 0) << "nothing left to close";
}

TEST(SerialPortClose, ReaderEndsByItselfWhenTheBoardHangsUp) {
  SerialRig rig;
  const size_t threads = ThreadCount();
  SetEightEvenOne(rig.port);
  ASSERT_EQ(rig.port.Open(), 1);
  rig.pty.master->Close();
  rig.pty.CloseSlave();
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (ThreadCount() > threads && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(ThreadCount(), threads) << "the reader keeps running on a dead line";
  const auto start = std::chrono::steady_clock::now();
  rig.port.Close();
  EXPECT_LT(MsSince(start), 200u);
}

struct PortRow {
  const char* name;
  int32_t index;
  const char* path;  // given instead of the index; "{pty}" is the board's node
  unsigned linked;   // the COM number the board is on
  int32_t result;
  std::vector<std::string> log;
  const char* failure;  // OpenFailureText afterwards
};

class SerialPortNumber : public ::testing::TestWithParam<PortRow> {};

TEST_P(SerialPortNumber, OpensEveryComNumberAndPaths) {
  const PortRow& row = GetParam();
  SerialRig rig(row.linked);
  SetEightEvenOne(rig.port, row.index);
  std::string path = row.path;
  if (path == "{pty}") path = rig.pty.slave_path;
  rig.port.SetPath(path);
  EXPECT_EQ(rig.port.Open(), row.result);
  const std::vector<std::string> opens(rig.system.log.begin(),
                                       rig.system.log.begin() + std::min<size_t>(1, rig.system.log.size()));
  std::vector<std::string> log = row.log;
  for (std::string& entry : log) {
    if (entry == "open {pty}") entry = "open " + rig.pty.slave_path;
  }
  EXPECT_EQ(opens, log);
  EXPECT_EQ(rig.port.OpenFailureText(), row.failure);
  rig.port.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SerialPortNumber,
    ::testing::Values(PortRow{"IndexNineIsComTen", 9, "", 10, 1, {"open COM10"}, ""},
                      PortRow{"IndexTenIsComEleven", 10, "", 11, 1, {"open COM11"}, ""},
                      PortRow{"IndexFourteenIsComFifteen", 14, "", 15, 1, {"open COM15"}, ""},
                      PortRow{"IndexMinusOneIsComZero", -1, "", 1, 0, {"open COM0"}, "no such device"},
                      PortRow{"HugeIndexIsClampedNotWrapped", 65545, "", 10, 0, {"open COM32767"},
                              "no such device"},
                      PortRow{"PathInsteadOfTheIndex", 0, "{pty}", 3, 1, {"open {pty}"}, ""},
                      PortRow{"PathOfAFolder", 2, "/tmp", 3, 0, {"open /tmp"},
                              "it is a folder, not a serial port"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedRow {
  const char* name;
  uint32_t baud;
  uint8_t byte_size;
  uint8_t stop_code;
  uint8_t parity_code;
  std::optional<platform::SysError> driver_refuses;
  std::string box;
};

class SerialPortSettings : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(SerialPortSettings, RefusedSettingsCloseEverything) {
  const RefusedRow& row = GetParam();
  SerialRig rig;
  const size_t threads = ThreadCount();
  rig.system.refuse_settings = row.driver_refuses;
  rig.port.SetParams(kComThree, row.baud, row.byte_size, row.stop_code, row.parity_code);
  EXPECT_EQ(rig.port.Open(), 0);
  EXPECT_EQ(rig.boxes.texts, std::vector<std::string>{row.box});
  EXPECT_EQ(rig.system.log.back(), "close");
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_TRUE(platform::RealSystem().OpenSerial("COM3").device) << "the line is still held";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SerialPortSettings,
    ::testing::Values(RefusedRow{"OneAndAHalfStopBits", 115200, 8, 1, 2, {}, "last error 87"},
                      RefusedRow{"NineDataBits", 115200, 9, 0, 2, {}, "last error 87"},
                      RefusedRow{"BaudZero", 0, 8, 0, 2, {}, "last error 87"},
                      RefusedRow{"ParityCodeBeyondSpace", 115200, 8, 0, 5, {}, "last error 87"},
                      RefusedRow{"DriverFails", 115200, 8, 0, 2, platform::SysError::kOther,
                                 "last error 31"}),
    [](const auto& info) { return std::string(info.param.name); });

struct EventRow {
  const char* name;
  int failing_call;
  int32_t result;
  std::vector<std::string> boxes;
  std::vector<BoxIcon> icons;
};

class SerialPortEvents : public ::testing::TestWithParam<EventRow> {};

TEST_P(SerialPortEvents, WithoutAnEvent) {
  const EventRow& row = GetParam();
  SerialRig rig;
  const size_t threads = ThreadCount();
  rig.system.fail_event_call = row.failing_call;
  SetEightEvenOne(rig.port);
  EXPECT_EQ(rig.port.Open(), row.result);
  EXPECT_EQ(rig.boxes.texts, row.boxes);
  EXPECT_EQ(rig.boxes.icons, row.icons);
  EXPECT_EQ(ThreadCount(), threads) << "no reader runs";
  // Whatever the board sends, nothing fills the ring.
  ASSERT_TRUE(rig.Send(Bytes{0x79}));
  rig.port.PauseForInput(50);
  EXPECT_EQ(rig.port.WaitForByte(0x79), -1);
  EXPECT_EQ(rig.port.Close(), row.result);
  EXPECT_TRUE(platform::RealSystem().OpenSerial("COM3").device) << "the line is still held";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SerialPortEvents,
    ::testing::Values(EventRow{"IoEvent", 1, 0, {}, {}},
                      EventRow{"ReadersEvent", 2, 1, {"Fail create event for thread"},
                               {BoxIcon::kWarning}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SerialPortTrace, OneLinePerReadWithTheIndicesBeforeTheStore) {
  testing::CapturedTrace trace;
  SerialRig rig;
  SetEightEvenOne(rig.port);
  ASSERT_EQ(rig.port.Open(), 1);
  ASSERT_TRUE(rig.Send(Pattern(5)));
  ASSERT_TRUE(rig.AwaitUnread(5));
  EXPECT_EQ(TakeAll(rig.port, 5), Pattern(5));
  ASSERT_TRUE(rig.Send(Pattern(3)));
  ASSERT_TRUE(rig.AwaitUnread(3));
  rig.port.Close();
  EXPECT_EQ(trace.Lines(), (std::vector<std::string>{"RECV[  5][0][0]:\n", "RECV[  3][5][5]:\n"}));
}

// The board answers in small pieces while the caller waits for each: the
// caller and the reader both move bytes into the ring, and one trace line per
// read still comes out, in the order of the reads.
TEST(SerialPortTrace, PiecesWhileTheCallerWaitsAreTracedOnceEachInOrder) {
  testing::CapturedTrace trace;
  SerialRig rig;
  SetEightEvenOne(rig.port);
  ASSERT_EQ(rig.port.Open(), 1);
  const Bytes sent = Pattern(3000);
  std::thread board([&] {
    for (size_t at = 0; at < sent.size(); at += 1 + at % 7) {
      const size_t end = std::min(sent.size(), at + 1 + at % 7);
      rig.Send(Bytes(sent.begin() + static_cast<long>(at), sent.begin() + static_cast<long>(end)));
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  const Bytes got = TakeAll(rig.port, sent.size());
  board.join();
  rig.port.Close();
  EXPECT_TRUE(got == sent) << "bytes lost, doubled or out of order";
  int32_t total = 0;
  for (const std::string& line : trace.Lines()) {
    int count = 0, read = 0, write = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "RECV[%d][%d][%d]:", &count, &read, &write), 3) << line;
    EXPECT_EQ(write, total % SerialPort::kRingSize) << "a line out of order: " << line;
    total += count;
  }
  EXPECT_EQ(total, static_cast<int32_t>(sent.size()));
}

struct BaudRow {
  const char* text;
  uint32_t baud;
};

class BaudText : public ::testing::TestWithParam<BaudRow> {};

TEST_P(BaudText, OnlyExactly115200IsFast) {
  EXPECT_EQ(SerialPort::BaudFromText(GetParam().text), GetParam().baud);
}

INSTANTIATE_TEST_SUITE_P(Rows, BaudText,
                         ::testing::Values(BaudRow{"115200", 115200}, BaudRow{"9600", 38400},
                                           BaudRow{"19200", 38400}, BaudRow{"38400", 38400},
                                           BaudRow{"57600", 38400}, BaudRow{"115200 ", 38400},
                                           BaudRow{"", 38400}));

struct IndexRow {
  const char* text;
  int16_t index;
};

class PortText : public ::testing::TestWithParam<IndexRow> {};

TEST_P(PortText, NumberMinusOne) {
  EXPECT_EQ(SerialPort::PortIndexFromText(GetParam().text), GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(Rows, PortText,
                         ::testing::Values(IndexRow{"1", 0}, IndexRow{"12", 11}, IndexRow{"15", 14},
                                           IndexRow{"0", -1}, IndexRow{"COM3", 0}, IndexRow{"", 0},
                                           IndexRow{"3x", 2},
                                           // Far past any port: refused by Open, not wrapped.
                                           IndexRow{"99999999999", 32767}));

}  // namespace
}  // namespace flashkit
