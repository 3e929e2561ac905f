#include <gtest/gtest.h>

#include "ports/status.h"
#include "tests/ports/port_bench.h"

namespace flashkit::testing {
namespace {

using platform::SysError;

struct NameRow {
  uint32_t port;
  int32_t result;
  Log log;  // what reached the system
};

class OpenPortName : public ::testing::TestWithParam<NameRow> {};

TEST_P(OpenPortName, OpensTheComDeviceByNumber) {
  PortBench bench;
  EXPECT_EQ(bench.port.OpenPort(GetParam().port), GetParam().result);
  EXPECT_EQ(bench.system.log, GetParam().log);
}

INSTANTIATE_TEST_SUITE_P(Numbers, OpenPortName,
                         ::testing::Values(NameRow{1000, status::kPortNotFound, {}},
                                           NameRow{4294967295u, status::kPortNotFound, {}},
                                           NameRow{999, status::kOk, {"open \\\\.\\com999"}},
                                           NameRow{10, status::kOk, {"open \\\\.\\com10"}},
                                           NameRow{7, status::kOk, {"open \\\\.\\com7"}},
                                           NameRow{0, status::kOk, {"open \\\\.\\com0"}}));

struct OpenErrorRow {
  SysError error;
  int32_t result;
};

class OpenPortError : public ::testing::TestWithParam<OpenErrorRow> {};

TEST_P(OpenPortError, MapsTheReasonAndHoldsNoDevice) {
  PortBench bench;
  bench.system.open_error = GetParam().error;
  EXPECT_EQ(bench.port.OpenPort(0), GetParam().result);
  EXPECT_EQ(bench.port.ClosePort(), -1);
  EXPECT_EQ(bench.port.Write(reinterpret_cast<const uint8_t*>("1"), 1, 0, false), status::kPortWriteFailed);
}

INSTANTIATE_TEST_SUITE_P(Reasons, OpenPortError,
                         ::testing::Values(OpenErrorRow{SysError::kFileNotFound, status::kPortNotFound},
                                           OpenErrorRow{SysError::kAccessDenied, status::kPortAccessDenied},
                                           OpenErrorRow{SysError::kInvalidParameter, status::kPortError},
                                           OpenErrorRow{SysError::kOther, status::kPortError}));

TEST(ClosePort, SecondCloseFindsNothingOpen) {
  PortBench bench;
  ASSERT_EQ(bench.port.OpenPort(3), 0);
  EXPECT_EQ(bench.port.ClosePort(), 1);
  EXPECT_EQ(bench.port.ClosePort(), -1);
  EXPECT_EQ(bench.system.log, (Log{"open \\\\.\\com3", "close"}));
}

TEST(ClosePort, FailedCloseGivesZeroAndStillLetsGo) {
  PortBench bench;
  bench.system.line.Fail(DeviceOp::kClose, SysError::kOther);
  ASSERT_EQ(bench.port.OpenPort(3), 0);
  EXPECT_EQ(bench.port.ClosePort(), 0);
  EXPECT_EQ(bench.port.ClosePort(), -1);
}

TEST(ClosePort, DestructionClosesAnOpenLineOnce) {
  FakeDeviceSystem system;
  CapturedOut out;
  Crc16Table crc;
  {
    DevicePort port(system, out, crc);
    ASSERT_EQ(port.OpenPort(3), 0);
  }
  {
    DevicePort port(system, out, crc);
    ASSERT_EQ(port.OpenPort(4), 0);
    ASSERT_EQ(port.ClosePort(), 1);
  }
  EXPECT_EQ(system.log, (Log{"open \\\\.\\com3", "close", "open \\\\.\\com4", "close"}));
}

struct EventRow {
  const char* label;
  bool pipes_open;
  std::optional<int> failing_call;
  int32_t result;
  int events_held;
};

class CreateComInfo : public ::testing::TestWithParam<EventRow> {};

TEST_P(CreateComInfo, MakesTwoEventsOrHoldsNone) {
  PortBench bench;
  if (GetParam().pipes_open) {
    bench.system.interfaces = std::vector<std::string>{"dev0"};
    bench.system.AddPipe("dev0\\PIPE00");
    bench.system.AddPipe("dev0\\PIPE01");
    ASSERT_EQ(bench.port.UsbConnect(), 1);
    ASSERT_EQ(bench.port.OpenUSBHandler(), 1);
  }
  bench.system.fail_event_call = GetParam().failing_call;
  EXPECT_EQ(bench.port.CreateComInfo(), GetParam().result);
  EXPECT_EQ(bench.system.events_alive, GetParam().events_held);
}

INSTANTIATE_TEST_SUITE_P(Events, CreateComInfo,
                         ::testing::Values(EventRow{"Both", true, {}, 1, 2},
                                           EventRow{"NoPipesToGoWith", false, {}, 0, 2},
                                           EventRow{"FirstFails", true, 1, 0, 0},
                                           EventRow{"SecondFails", true, 2, 0, 0}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace flashkit::testing
