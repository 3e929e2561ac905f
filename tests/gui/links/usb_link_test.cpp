#include "gui/links/usb_link.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/named_lock.h"
#include "tests/gui/links/serial_rig.h"
#include "tests/platform/runtime_dir.h"
#include "tests/support/fake_device_system.h"

namespace flashkit {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::FakeDeviceSystem;
using Lines = std::vector<std::string>;

const std::string kLongPath = "/ns/" + std::string(245, 'p');  // 249 characters

// The trace lines after the first `before`.
Lines Since(const Lines& lines, size_t before) {
  return Lines(lines.begin() + static_cast<long>(std::min(before, lines.size())), lines.end());
}

// The link's lock lives in a folder of its own, away from any real one.
struct LockFolder {
  LockFolder() { fs::create_directories(folder); }
  ~LockFolder() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  fs::path folder = fs::temp_directory_path() / ("flashkit-usb-lock-" + std::to_string(::getpid()));
  testing::RuntimeDir runtime{folder.string()};
};

// A link on the fake system with one device "/ns/dev" and both its pipes.
struct UsbRig {
  UsbRig() {
    system.interfaces = std::vector<std::string>{"/ns/dev"};
    system.AddPipe("/ns/dev\\PIPE00");
    system.AddPipe("/ns/dev\\PIPE01");
  }
  testing::FakeDeviceState& ReadPipe() { return system.Pipe("/ns/dev\\PIPE00"); }
  testing::FakeDeviceState& WritePipe() { return system.Pipe("/ns/dev\\PIPE01"); }

  LockFolder lock;
  FakeDeviceSystem system;
  testing::CapturedTrace trace;
  UsbLink link{system};
};

struct ConnectRow {
  const char* name;
  std::optional<std::vector<std::string>> interfaces;
  std::vector<std::string> unopenable;
  std::vector<std::string> pipes;
  int32_t result;
  Lines trace;
  Lines closes;  // what a failed connect closed again
};

class UsbConnect : public ::testing::TestWithParam<ConnectRow> {};

TEST_P(UsbConnect, FirstInterfaceThatOpens) {
  const ConnectRow& row = GetParam();
  LockFolder lock;
  FakeDeviceSystem system;
  system.interfaces = row.interfaces;
  system.unopenable = row.unopenable;
  for (const std::string& pipe : row.pipes) system.AddPipe(pipe);
  testing::CapturedTrace trace;
  UsbLink link(system);

  EXPECT_EQ(link.Connect(), row.result);
  EXPECT_EQ(trace.Lines(), row.trace);
  Lines closes;
  std::copy_if(system.log.begin(), system.log.end(), std::back_inserter(closes),
               [](const std::string& entry) { return entry.ends_with("close"); });
  EXPECT_EQ(closes, row.closes);
  EXPECT_EQ(system.events_alive, row.result == 1 ? 2 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UsbConnect,
    ::testing::Values(
        ConnectRow{"NoDevice", std::vector<std::string>{}, {}, {}, 0, {}, {}},
        ConnectRow{"ClassCannotBeListed", std::nullopt, {}, {}, 0, {}, {}},
        ConnectRow{"FirstCannotBeOpened",
                   std::vector<std::string>{"/ns/a", "/ns/b"},
                   {"/ns/a"},
                   {"/ns/b\\PIPE00", "/ns/b\\PIPE01"},
                   1,
                   {"Attempting to open /ns/a\n", "FAILED to open.\n", "Attempting to open /ns/b\n",
                    "--------- WRITE PIPE Opened successfully.\n", "USB Opened successfully.\n"},
                   {}},
        ConnectRow{"NoReadPipe",
                   std::vector<std::string>{"/ns/a"},
                   {},
                   {"/ns/a\\PIPE01"},
                   0,
                   {"Attempting to open /ns/a\n", "Failed to open (/ns/a\\PIPE00) = 2"},
                   {"close"}},
        ConnectRow{"NoWritePipe",
                   std::vector<std::string>{"/ns/a"},
                   {},
                   {"/ns/a\\PIPE00"},
                   0,
                   {"Attempting to open /ns/a\n", "Failed to open (/ns/a\\PIPE01) = 2"},
                   {"close", "PIPE00 close"}},
        ConnectRow{"PathTooLongForThePipes",
                   std::vector<std::string>{kLongPath},
                   {},
                   {kLongPath + "\\PIPE00", kLongPath + "\\PIPE01"},
                   0,
                   {"Attempting to open " + kLongPath + "\n",
                    "Failed to open (" + kLongPath + "\\PIPE00) = 206"},
                   {"close"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UsbLinkLife, ConnectAfterCloseOpensAgainWithFreshEvents) {
  UsbRig rig;
  ASSERT_EQ(rig.link.Connect(), 1);
  rig.link.Close();
  EXPECT_EQ(rig.system.events_alive, 0);
  EXPECT_TRUE(rig.ReadPipe().closed);
  EXPECT_TRUE(rig.WritePipe().closed);
  ASSERT_EQ(rig.link.Connect(), 1);
  EXPECT_EQ(rig.system.event_calls, 4);
  EXPECT_EQ(rig.system.events_alive, 2);
  EXPECT_FALSE(rig.ReadPipe().closed);
  EXPECT_EQ(rig.trace.Lines(),
            (Lines{"Attempting to open /ns/dev\n", "--------- WRITE PIPE Opened successfully.\n",
                   "USB Opened successfully.\n", "--------- Close USB.\n",
                   "Attempting to open /ns/dev\n", "--------- WRITE PIPE Opened successfully.\n",
                   "USB Opened successfully.\n"}));
}

enum class Fault { kNone, kFails, kNotConnected };

struct WriteRow {
  const char* name;
  Fault fault;
  int32_t result;
  Bytes written;
  Lines trace;
};

class UsbWrite : public ::testing::TestWithParam<WriteRow> {};

TEST_P(UsbWrite, CountOrTheError) {
  const WriteRow& row = GetParam();
  UsbRig rig;
  if (row.fault != Fault::kNotConnected) {
    ASSERT_EQ(rig.link.Connect(), 1);
  }
  if (row.fault == Fault::kFails) {
    rig.WritePipe().Fail(testing::DeviceOp::kWrite, platform::SysError::kAccessDenied);
  }
  const size_t before = rig.trace.Lines().size();
  const Bytes frame{0x02, 0x10, 0x20, 0x03};
  EXPECT_EQ(rig.link.Write(frame.data(), 4), row.result);
  EXPECT_EQ(rig.WritePipe().written, row.written);
  EXPECT_EQ(Since(rig.trace.Lines(), before), row.trace);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UsbWrite,
    ::testing::Values(WriteRow{"Taken", Fault::kNone, 4, {0x02, 0x10, 0x20, 0x03}, {}},
                      WriteRow{"PipeFails", Fault::kFails, 0, {}, {"SEND_ERROR[5]\n"}},
                      WriteRow{"NotConnected", Fault::kNotConnected, 0, {}, {"SEND_ERROR[6]\n"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReadRow {
  const char* name;
  Fault fault;
  std::optional<uint64_t> answer_at_ms;  // when the device's 0x06 arrives
  int32_t result;
  uint64_t ends_at_ms;
  Lines trace;
};

class UsbRead : public ::testing::TestWithParam<ReadRow> {};

TEST_P(UsbRead, WaitsForTheDeviceAtMostFiveSeconds) {
  const ReadRow& row = GetParam();
  UsbRig rig;
  if (row.fault != Fault::kNotConnected) {
    ASSERT_EQ(rig.link.Connect(), 1);
  }
  if (row.fault == Fault::kFails) {
    rig.ReadPipe().Fail(testing::DeviceOp::kRead, platform::SysError::kOther);
  }
  if (row.answer_at_ms) rig.ReadPipe().ArriveAt(*row.answer_at_ms, Bytes{0x06});
  const size_t before = rig.trace.Lines().size();
  uint8_t buffer[16] = {};
  EXPECT_EQ(rig.link.Read(buffer, sizeof buffer), row.result);
  if (row.result == 1) {
    EXPECT_EQ(buffer[0], 0x06);
  }
  EXPECT_EQ(rig.system.time.NowMs(), row.ends_at_ms);
  EXPECT_EQ(Since(rig.trace.Lines(), before), row.trace);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UsbRead,
    ::testing::Values(ReadRow{"AnswerWaiting", Fault::kNone, 0, 1, 0, {}},
                      ReadRow{"AnswerAfterFourSeconds", Fault::kNone, 4000, 1, 4000, {}},
                      ReadRow{"NoAnswer", Fault::kNone, std::nullopt, 0, UsbLink::kReadTimeoutMs,
                              {"READ_TIMEOUT\n"}},
                      ReadRow{"AnswerTooLate", Fault::kNone, 5001, 0, UsbLink::kReadTimeoutMs,
                              {"READ_TIMEOUT\n"}},
                      ReadRow{"PipeFails", Fault::kFails, 0, 0, 0, {"READ_ERROR[31]"}},
                      ReadRow{"NotConnected", Fault::kNotConnected, std::nullopt, 0, 0,
                              {"READ_ERROR[6]"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct WaitRow {
  const char* name;
  std::optional<uint64_t> ack_at_ms;
  int32_t result;
  size_t pauses;
};

class UsbWait : public ::testing::TestWithParam<WaitRow> {};

TEST_P(UsbWait, SeesWhatTheDeviceSends) {
  const WaitRow& row = GetParam();
  UsbRig rig;
  ASSERT_EQ(rig.link.Connect(), 1);
  rig.ReadPipe().Arrive(Bytes{'.', '.'});  // dropped on the way
  if (row.ack_at_ms) rig.ReadPipe().ArriveAt(*row.ack_at_ms, Bytes{0x06});
  EXPECT_EQ(rig.link.WaitForByte(0x06), row.result);
  EXPECT_EQ(rig.system.time.sleeps, std::vector<uint32_t>(row.pauses, 1));
  uint8_t byte = 0xA5;
  EXPECT_EQ(rig.link.TakeByte(&byte), -1);
  EXPECT_EQ(byte, 0xA5);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UsbWait,
    ::testing::Values(WaitRow{"AckBehindTwoOthers", 0, 1, 2},
                      WaitRow{"AckAfter40Ms", 40, 1, 40},
                      WaitRow{"AckAtTheLastTry", 100, 1, 100},
                      WaitRow{"AckAfterTheLastTry", 101, -1, 100},
                      WaitRow{"NoAck", std::nullopt, -1, 100}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UsbLinkRing, FullRingLeavesTheRestInThePipe) {
  UsbRig rig;
  ASSERT_EQ(rig.link.Connect(), 1);
  Bytes sent(300);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 7 + 6);
  rig.ReadPipe().Arrive(sent);
  ASSERT_EQ(rig.link.WaitForByte(sent[0]), 1);
  EXPECT_EQ(rig.ReadPipe().Pending(), 300u - 255u);

  // What the ring holds comes first, then the pipe's rest, nothing lost.
  Bytes got;
  uint8_t buffer[512];
  for (int32_t n; got.size() < 299 && (n = rig.link.Read(buffer, sizeof buffer)) > 0;) {
    got.insert(got.end(), buffer, buffer + n);
  }
  EXPECT_EQ(got, Bytes(sent.begin() + 1, sent.end()));
}

TEST(UsbLinkRing, ResetWaitsForTheNamedLock) {
  UsbRig rig;
  ASSERT_EQ(rig.link.Connect(), 1);
  rig.ReadPipe().Arrive(Bytes{0x06, 'x'});
  ASSERT_EQ(rig.link.WaitForByte(0x06), 1);  // leaves 'x' in the ring

  platform::NamedLock other("USB_LOCK");
  ASSERT_TRUE(other.Lock());
  std::atomic<bool> reset{false};
  std::thread resetter([&] {
    rig.link.ResetRing();
    reset = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(reset) << "the ring was reset while another holder had the lock";
  other.Unlock();
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!reset && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  resetter.join();
  uint8_t byte = 0;
  EXPECT_EQ(rig.link.TakeByte(&byte), -1);
}

}  // namespace
}  // namespace flashkit
