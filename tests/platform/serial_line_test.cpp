#include "platform/serial_line.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <vector>

#include "platform/clock.h"
#include "platform/low_latency.h"
#include "tests/platform/pty_line.h"

namespace flashkit::platform {
namespace {

using testing::Bytes;
using testing::PtyCom;
using testing::ReadSome;

// How a COM name or a path may fail to open, and what the user is told.
struct OpenRow {
  const char* label;
  void (*prepare)(PtyCom& com);
  std::string name;  // "{ns}" stands for the namespace root
  SysError error;
  const char* text;
};

class OpenSerial : public ::testing::TestWithParam<OpenRow> {};

TEST_P(OpenSerial, RefusesWithTheReason) {
  PtyCom com;
  GetParam().prepare(com);
  std::string name = GetParam().name;
  if (const size_t at = name.find("{ns}"); at != std::string::npos) {
    name.replace(at, 4, com.ns.root().string());
  }
  Opened<SerialLine> opened = RealSystem().OpenSerial(name);
  EXPECT_EQ(opened.device, nullptr);
  EXPECT_EQ(opened.status.error, GetParam().error) << opened.status.Text();
  EXPECT_EQ(SerialOpenFailureText(opened.status), GetParam().text);
}

void Nothing(PtyCom&) {}
void RegularFile(PtyCom& com) { std::ofstream(com.ns.Path("com3")) << "not a line"; }
void DanglingLink(PtyCom& com) {
  std::filesystem::create_symlink(com.ns.Path("unplugged"), com.ns.Path("com3"));
}

constexpr char kNoDevice[] = "no such device";
constexpr char kNotASerialPort[] = "it is not a serial port (not a terminal)";

INSTANTIATE_TEST_SUITE_P(
    Nodes, OpenSerial,
    ::testing::Values(
        OpenRow{"Missing", Nothing, "\\\\.\\com3", SysError::kFileNotFound, kNoDevice},
        OpenRow{"NotAComName", Nothing, "\\\\.\\lpt7", SysError::kFileNotFound, kNoDevice},
        OpenRow{"RegularFile", RegularFile, "\\\\.\\com3", SysError::kOther, kNotASerialPort},
        OpenRow{"DanglingLink", DanglingLink, "COM3", SysError::kFileNotFound, kNoDevice},
        OpenRow{"NeitherPathNorCom", Nothing, "ttyUSB0", SysError::kFileNotFound, kNoDevice},
        OpenRow{"PathMissing", Nothing, "{ns}/ttyUSB9", SysError::kFileNotFound, kNoDevice},
        OpenRow{"PathRegularFile", RegularFile, "{ns}/com3", SysError::kOther, kNotASerialPort},
        OpenRow{"PathDanglingLink", DanglingLink, "{ns}/com3", SysError::kFileNotFound, kNoDevice},
        OpenRow{"PathFolder", Nothing, "{ns}", SysError::kOther,
                "it is a folder, not a serial port"},
        OpenRow{"PathThroughAFile", RegularFile, "{ns}/com3/tty", SysError::kFileNotFound,
                "no such device (a part of the path is not a folder)"},
        OpenRow{"PathTooLong", Nothing, "/" + std::string(5000, 'a'), SysError::kOther,
                "the path is longer than the system allows"},
        OpenRow{"PathNotATerminal", Nothing, "/dev/null", SysError::kOther, kNotASerialPort}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SerialLine, SecondOpenIsDeniedUntilTheFirstCloses) {
  PtyCom com;
  Opened<SerialLine> first = com.Open();
  ASSERT_NE(first.device, nullptr) << first.status.Text();
  Opened<SerialLine> second = com.Open();
  EXPECT_EQ(second.device, nullptr);
  EXPECT_EQ(second.status.error, SysError::kAccessDenied);
  EXPECT_TRUE(first.device->Close());
  Opened<SerialLine> third = com.Open();
  EXPECT_NE(third.device, nullptr) << third.status.Text();
}

class LineRate : public ::testing::TestWithParam<uint32_t> {};

TEST_P(LineRate, AnyRateReadsBack) {
  PtyCom com;
  Opened<SerialLine> line = com.Open();
  ASSERT_NE(line.device, nullptr);
  LineSettings settings;
  ASSERT_TRUE(line.device->GetSettings(settings).ok());
  settings.baud = GetParam();
  settings.stop_bits = StopBits::kTwo;
  ASSERT_TRUE(line.device->SetSettings(settings).ok());
  LineSettings back;
  ASSERT_TRUE(line.device->GetSettings(back).ok());
  EXPECT_EQ(back.baud, GetParam());
  EXPECT_EQ(back.stop_bits, StopBits::kTwo);
}

INSTANTIATE_TEST_SUITE_P(Rates, LineRate, ::testing::Values(9600u, 115200u, 250000u, 921600u, 3000000u));

struct RefusedRow {
  const char* label;
  LineSettings settings;
};

class RefusedSettings : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(RefusedSettings, InvalidParameterAndTheLineUnchanged) {
  PtyCom com;
  Opened<SerialLine> line = com.Open();
  ASSERT_NE(line.device, nullptr);
  LineSettings before;
  ASSERT_TRUE(line.device->GetSettings(before).ok());
  EXPECT_EQ(line.device->SetSettings(GetParam().settings).error, SysError::kInvalidParameter);
  LineSettings after;
  ASSERT_TRUE(line.device->GetSettings(after).ok());
  EXPECT_EQ(after.baud, before.baud);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, RefusedSettings,
    ::testing::Values(RefusedRow{"OneAndAHalfStopBits", {115200, 8, Parity::kNone, StopBits::kOnePointFive, false}},
                      RefusedRow{"BaudZero", {0, 8, Parity::kNone, StopBits::kOne, false}},
                      RefusedRow{"NineBits", {115200, 9, Parity::kNone, StopBits::kOne, false}},
                      RefusedRow{"FourBits", {115200, 4, Parity::kNone, StopBits::kOne, false}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SerialLine, ReadWithNothingWaitingReturnsZeroAtOnce) {
  PtyCom com;
  Opened<SerialLine> line = com.Open();
  ASSERT_NE(line.device, nullptr);
  uint8_t buffer[8];
  const IoResult r = line.device->Read(buffer, sizeof buffer);
  EXPECT_TRUE(r.ok()) << r.status.Text();
  EXPECT_EQ(r.count, 0u);
}

// Control characters, line ends and flow-control bytes pass untouched both ways.
TEST(SerialLine, RawBytesBothWays) {
  PtyCom com;
  Opened<SerialLine> line = com.Open();
  ASSERT_NE(line.device, nullptr);
  const Bytes raw = {'\n', '\r', 0x03, 0x04, 0x11, 0x13, 0x1A, 0x7F, 0x00, 0xFF, 'C'};

  ASSERT_EQ(line.device->Write(raw.data(), raw.size()).count, raw.size());
  EXPECT_EQ(ReadSome(*com.pty.master, raw.size()), raw);

  ASSERT_EQ(com.pty.master->Write(raw.data(), raw.size()).count, raw.size());
  EXPECT_EQ(ReadSome(*line.device, raw.size()), raw);
  EXPECT_TRUE(line.device->Flush().ok());
}

TEST(SerialLine, PurgeDiscardsWaitingInput) {
  PtyCom com;
  Opened<SerialLine> line = com.Open();
  ASSERT_NE(line.device, nullptr);
  const Bytes stale = {'o', 'l', 'd'};
  ASSERT_EQ(com.pty.master->Write(stale.data(), stale.size()).count, stale.size());
  line.device->PollInput(1000);
  ASSERT_TRUE(line.device->Purge().ok());
  uint8_t buffer[8];
  EXPECT_EQ(line.device->Read(buffer, sizeof buffer).count, 0u);
}

TEST(SerialLine, PollEndsEarlyWhenInputArrives) {
  PtyCom com;
  Opened<SerialLine> line = com.Open();
  ASSERT_NE(line.device, nullptr);
  const uint8_t byte = 'C';
  ASSERT_EQ(com.pty.master->Write(&byte, 1).count, 1u);
  Clock& clock = SystemClock();
  const uint64_t start = clock.NowMs();
  clock.SleepUntilInput(*line.device, 2000);
  EXPECT_LT(clock.NowMs() - start, 500u);
  EXPECT_EQ(ReadSome(*line.device, 1), Bytes{'C'});
}

TEST(SerialLine, HangUpIsAReadError) {
  PtyCom com;
  Opened<SerialLine> line = com.Open();
  ASSERT_NE(line.device, nullptr);
  com.pty.master.reset();
  Clock& clock = SystemClock();
  const uint64_t start = clock.NowMs();
  line.device->PollInput(2000);
  EXPECT_LT(clock.NowMs() - start, 500u);
  uint8_t buffer[8];
  EXPECT_FALSE(line.device->Read(buffer, sizeof buffer).ok());
  const uint8_t byte = '1';
  EXPECT_FALSE(line.device->Write(&byte, 1).ok());
}

TEST(SerialLine, WriteToALineThatTakesNothingReturnsShortAfterTheStall) {
  PtyCom com;
  constexpr uint32_t kStallMs = 100;
  Opened<SerialLine> line = OpenSerialLine(com.pty.slave_path, kStallMs);
  ASSERT_NE(line.device, nullptr) << line.status.Text();
  const Bytes block(1 << 20, 'x');
  Clock& clock = SystemClock();
  const uint64_t start = clock.NowMs();
  const IoResult r = line.device->Write(block.data(), block.size());
  const uint64_t took = clock.NowMs() - start;
  EXPECT_TRUE(r.ok());
  EXPECT_GT(r.count, 0u);
  EXPECT_LT(r.count, block.size());
  EXPECT_GE(took, kStallMs);
  EXPECT_LT(took, 10 * kStallMs);
}


// A serial driver that keeps its flags and notes each change.
class RecordingDriver : public SerialDriver {
 public:
  RecordingDriver(int flags, SysStatus get, SysStatus set) : flags_(flags), get_(get), set_(set) {}
  SysStatus GetFlags(int, int& flags) override {
    flags = flags_;
    return get_;
  }
  SysStatus SetFlags(int, int flags) override {
    if (!set_.ok()) return set_;
    flags_ = flags;
    sets.push_back(flags);
    return set_;
  }
  std::vector<int> sets;

 private:
  int flags_;
  SysStatus get_;
  SysStatus set_;
};

constexpr int kLowLatency = 0x2000;  // ASYNC_LOW_LATENCY
constexpr int kOtherFlags = 0x10000040;

struct LatencyRow {
  const char* label;
  int flags;  // as the driver reports them
  SysStatus get, set;
  std::vector<int> sets_while_open;
  std::vector<int> sets_after_close;
};

const SysStatus kRefused = SysStatus::FromErrno(ENOTTY);
const SysStatus kNoPermission = SysStatus::FromErrno(EPERM);

class LowLatencyMode : public ::testing::TestWithParam<LatencyRow> {};

TEST_P(LowLatencyMode, AskedOnOpenAndGivenBackOnClose) {
  const LatencyRow& row = GetParam();
  PtyCom com;
  RecordingDriver driver(row.flags, row.get, row.set);
  Opened<SerialLine> line = OpenSerialLine(com.pty.slave_path, FdDevice::kWriteStallMs, driver);
  ASSERT_NE(line.device, nullptr) << "a driver without the mode still gives a line";
  EXPECT_EQ(driver.sets, row.sets_while_open);
  line.device.reset();  // as a run that ends early, Ctrl-C included, lets its port go
  EXPECT_EQ(driver.sets, row.sets_after_close);
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, LowLatencyMode,
    ::testing::Values(
        LatencyRow{"UsbAdapter", kOtherFlags, SysStatus::Ok(), SysStatus::Ok(),
                   {kOtherFlags | kLowLatency}, {kOtherFlags | kLowLatency, kOtherFlags}},
        LatencyRow{"PseudoTerminal", 0, kRefused, SysStatus::Ok(), {}, {}},
        LatencyRow{"NoPermission", kOtherFlags, SysStatus::Ok(), kNoPermission, {}, {}}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace flashkit::platform
