#include <gtest/gtest.h>

#include "ports/status.h"
#include "tests/ports/port_bench.h"

namespace flashkit::testing {
namespace {

using platform::SysError;

const Bytes kTaxi = {0x02, 0x05, 0xFF, 0x03, 0xFB};
const Bytes kDg = {0x02, 0x00, 0x01, 0x44, 0x03, 0x45};
const Bytes kIapDg = {0x02, 0x00, 0x01, 0x80, 0x03, 0x45};
const Bytes kIapPacket = {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0x80, 0x00, 0x00, 0xFF, 0x65, 0x03};
const Bytes kOtherPacket = {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0xFF, 0x00, 0x00, 0x79, 0x6A, 0x03};

// The COM prompts start after a 1000 ms pause.
constexpr uint64_t kFirstPrompt = 1000;

std::string WaitingDisplay() {
  std::string text = "\r\n";
  for (int i = 0; i < 1000; ++i) text += "Waiting........\r";
  return text + "Try to send Request packet!\n";
}

struct PacketRow {
  const char* label;
  const char* name;
  Bytes packet;
};

class PacketChoice : public ::testing::TestWithParam<PacketRow> {};

TEST_P(PacketChoice, SendsThePacketTheNameAsksFor) {
  PortBench bench;
  bench.OpenCom();
  bench.system.line.ArriveAt(kFirstPrompt, {'C'});
  ASSERT_EQ(bench.port.SendRequest(GetParam().name, false), 1);
  ASSERT_FALSE(bench.system.line.offered.empty());
  EXPECT_EQ(bench.system.line.offered[0], GetParam().packet);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PacketChoice,
    ::testing::Values(
        PacketRow{"TaxiExactly", "ZQT410_TAXI_SK.bin", kTaxi},
        PacketRow{"TaxiOtherCase", "zqt410_taxi_sk.bin", kOtherPacket},
        PacketRow{"TaxiWithMore", "ZQT410_TAXI_SK.bin.old", kOtherPacket},
        PacketRow{"DgPrefix", "ZQT410_DG_v2.bin", kDg},
        PacketRow{"DgAlone", "ZQT410_DG", kDg},
        PacketRow{"IapDg", "ZQT410_IAP_DG.bin", kIapDg},
        PacketRow{"IapDgAnyThirteenth", "ZQT410_IAP_DX.bin", kIapDg},
        PacketRow{"IapDifferingWithinTwelve", "ZQT410_IAP_X.bin", kIapPacket},
        PacketRow{"IapShorterThanTwelve", "ZQT410_IAP", kIapPacket},
        PacketRow{"LowerIap", "iap_boot.bin", kIapPacket},
        PacketRow{"UpperIap", "IAP_boot.bin", kOtherPacket},
        PacketRow{"DrivePath", "C:\\images\\ZQT410_DG.bin", kOtherPacket},
        PacketRow{"ShortOfDg", "ZQT410_D", kOtherPacket},
        PacketRow{"ShortOfIap", "ia", kOtherPacket},
        PacketRow{"Empty", "", kOtherPacket},
        PacketRow{"Plain", "fw.bin", kOtherPacket}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(StartHandshake, NoNameGetsTheOtherPacket) {
  PortBench bench;
  bench.OpenCom();
  bench.system.line.ArriveAt(kFirstPrompt, {'C'});
  ASSERT_EQ(bench.port.SendRequest(nullptr, false), 1);
  EXPECT_EQ(bench.system.line.offered[0], kOtherPacket);
}

TEST(StartHandshake, WaitingDisplayComesBeforeTheFirstPrompt) {
  PortBench bench;
  bench.OpenCom();
  bench.system.line.ArriveAt(kFirstPrompt, {'C'});
  ASSERT_EQ(bench.port.SendRequest("fw.bin", false), 1);
  EXPECT_EQ(bench.out.text(), WaitingDisplay() + ".");
  EXPECT_EQ(bench.system.log, (Log{"write", "sleep 1000", "write", "read"}));
}

// What the board sends after the prompts, and how the cycles go.
struct PromptRow {
  const char* label;
  std::vector<std::pair<uint64_t, Bytes>> script;  // (virtual time, bytes)
  std::optional<int> failing_read;
  std::string prompts;  // the start bytes written after the packet
  Log log;              // after the packet
};

class ComPrompts : public ::testing::TestWithParam<PromptRow> {};

TEST_P(ComPrompts, PromptUntilTheBoardSaysC) {
  const PromptRow& row = GetParam();
  PortBench bench;
  bench.OpenCom();
  for (const auto& [at, bytes] : row.script) bench.system.line.ArriveAt(at, bytes);
  if (row.failing_read) bench.system.line.Fail(DeviceOp::kRead, SysError::kOther, *row.failing_read);

  ASSERT_EQ(bench.port.SendRequest("fw.bin", false), 1);

  const Bytes& written = bench.system.line.written;
  EXPECT_EQ(std::string(written.begin() + 12, written.end()), row.prompts);
  EXPECT_EQ(bench.out.text(), WaitingDisplay() + std::string(row.prompts.size(), '.'));
  const Log& log = bench.system.log;
  EXPECT_EQ(Log(log.begin() + 1, log.end()), row.log);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ComPrompts,
    ::testing::Values(
        PromptRow{"BurstEndingInC", {{kFirstPrompt, {'x', 'y', 'C'}}}, {}, "1",
                  {"sleep 1000", "write", "read", "read", "read"}},
        PromptRow{"ZeroStopsTheCycle", {{kFirstPrompt, {0x00, 'C'}}}, {}, "11",
                  {"sleep 1000", "write", "read", "sleep 10", "write", "read"}},
        PromptRow{"SilentForThreeCycles", {{kFirstPrompt + 25, {'C'}}}, {}, "1111",
                  {"sleep 1000", "write", "read", "sleep 10", "write", "read", "sleep 10", "write",
                   "read", "sleep 10", "write", "read"}},
        PromptRow{"OtherBytesAcrossCycles", {{kFirstPrompt, {'a', 'b'}}, {kFirstPrompt + 5, {'C'}}}, {},
                  "11", {"sleep 1000", "write", "read", "read", "read", "sleep 10", "write", "read"}},
        PromptRow{"FailedReadEndsTheCycle", {{kFirstPrompt, {'C'}}}, 1, "11",
                  {"sleep 1000", "write", "read", "sleep 10", "write", "read"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(StartHandshake, UsbSendsTenStartBytesAndReadsNothing) {
  PortBench bench;
  bench.OpenUsb();
  bench.ReadPipe().Arrive("C");
  ASSERT_EQ(bench.port.SendRequest("fw.bin", true), 0);

  Bytes expected = kOtherPacket;
  expected.insert(expected.end(), 10, '1');
  EXPECT_EQ(bench.WritePipe().written, expected);
  EXPECT_EQ(bench.ReadPipe().Pending(), 1u);
  EXPECT_EQ(bench.out.text(), WaitingDisplay());
  EXPECT_EQ(bench.system.time.sleeps, std::vector<uint32_t>(10, 10));
}

TEST(StartHandshake, UsbWithoutPipesFailsAtThePacket) {
  PortBench bench;
  bench.OpenCom();
  EXPECT_EQ(bench.port.SendRequest("fw.bin", true), status::kSourceFailed);
  EXPECT_EQ(bench.out.text(), "Start char error1_2");
  EXPECT_TRUE(bench.system.line.written.empty());
}

// Which write fails, on which link, and what the console shows then.
struct FailureRow {
  const char* label;
  bool use_usb;
  int failing_write;  // 1: the packet, 2: the first start byte
  std::string console;
};

class HandshakeFailure : public ::testing::TestWithParam<FailureRow> {};

TEST_P(HandshakeFailure, EndsWithItsTextAndMinus300) {
  const FailureRow& row = GetParam();
  PortBench bench;
  if (row.use_usb) {
    bench.OpenUsb();
    bench.WritePipe().Fail(DeviceOp::kWrite, SysError::kOther, row.failing_write);
  } else {
    bench.OpenCom();
    bench.system.line.Fail(DeviceOp::kWrite, SysError::kOther, row.failing_write);
  }
  EXPECT_EQ(bench.port.SendRequest("fw.bin", row.use_usb), status::kSourceFailed);
  EXPECT_EQ(bench.out.text(), row.console);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, HandshakeFailure,
    ::testing::Values(FailureRow{"PacketOnCom", false, 1, "Start char error1_1"},
                      FailureRow{"PacketOnUsb", true, 1, "Start char error1_2"},
                      FailureRow{"StartByteOnUsb", true, 2, WaitingDisplay() + "Start char error2"},
                      FailureRow{"StartByteOnCom", false, 2, WaitingDisplay() + ".Start char error2_1"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace flashkit::testing
