#include <gtest/gtest.h>

#include "ports/status.h"
#include "tests/ports/port_bench.h"

namespace flashkit::testing {
namespace {

using platform::LineSettings;
using platform::Parity;
using platform::StopBits;
using platform::SysError;

const Log kFullSetup = {"new event",    "new event",     "flush", "purge", "get settings",
                        "set settings", "reads at once", "purge"};

Log SetupUpTo(size_t calls) { return Log(kFullSetup.begin(), kFullSetup.begin() + calls); }

struct StepFailure {
  const char* label;
  DeviceOp op;
  int nth;
  SysError error;
  int32_t result;
  Log log;  // the set-up stops right after the failing call
};

class ConfigureFailure : public ::testing::TestWithParam<StepFailure> {};

TEST_P(ConfigureFailure, StopsAtTheFailingStep) {
  const StepFailure& row = GetParam();
  PortBench bench;
  ASSERT_EQ(bench.port.OpenPort(1), 0);
  bench.system.log.clear();
  bench.system.line.Fail(row.op, row.error, row.nth);
  EXPECT_EQ(bench.port.ConfigurePort(115200), row.result);
  EXPECT_EQ(bench.system.log, row.log);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ConfigureFailure,
    ::testing::Values(
        StepFailure{"Flush", DeviceOp::kFlush, 1, SysError::kOther, status::kPortError, SetupUpTo(3)},
        StepFailure{"FirstPurge", DeviceOp::kPurge, 1, SysError::kOther, status::kPortError, SetupUpTo(4)},
        StepFailure{"GetSettings", DeviceOp::kGetSettings, 1, SysError::kOther, status::kPortError, SetupUpTo(5)},
        StepFailure{"GetSettingsRefused", DeviceOp::kGetSettings, 1, SysError::kInvalidParameter,
                    status::kPortError, SetupUpTo(5)},
        StepFailure{"SettingsRefused", DeviceOp::kSetSettings, 1, SysError::kInvalidParameter,
                    status::kPortBadSettings, SetupUpTo(6)},
        StepFailure{"SettingsFailed", DeviceOp::kSetSettings, 1, SysError::kOther, status::kPortError,
                    SetupUpTo(6)},
        StepFailure{"ReadsAtOnce", DeviceOp::kReadsAtOnce, 1, SysError::kOther, status::kPortError,
                    SetupUpTo(7)},
        StepFailure{"ReadsAtOnceRefused", DeviceOp::kReadsAtOnce, 1, SysError::kInvalidParameter,
                    status::kPortError, SetupUpTo(7)},
        StepFailure{"SecondPurge", DeviceOp::kPurge, 2, SysError::kOther, status::kPortError, SetupUpTo(8)}),
    [](const auto& info) { return std::string(info.param.label); });

struct RateRow {
  const char* label;
  LineSettings before;
  uint32_t baud;
  LineSettings applied;
};

class ConfigureSettings : public ::testing::TestWithParam<RateRow> {};

TEST_P(ConfigureSettings, EightNoneOneAtTheRateAskedKeepingFlowControl) {
  const RateRow& row = GetParam();
  PortBench bench;
  ASSERT_EQ(bench.port.OpenPort(1), 0);
  bench.system.log.clear();
  bench.system.line.settings = row.before;
  ASSERT_EQ(bench.port.ConfigurePort(row.baud), 0);
  EXPECT_EQ(bench.system.log, kFullSetup);
  ASSERT_EQ(bench.system.line.applied.size(), 1u);
  const LineSettings& got = bench.system.line.applied[0];
  EXPECT_EQ(got.baud, row.applied.baud);
  EXPECT_EQ(got.byte_size, row.applied.byte_size);
  EXPECT_EQ(got.parity, row.applied.parity);
  EXPECT_EQ(got.stop_bits, row.applied.stop_bits);
  EXPECT_EQ(got.rts_cts, row.applied.rts_cts);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ConfigureSettings,
    ::testing::Values(
        RateRow{"SevenEvenTwoWithRtsCts", {9600, 7, Parity::kEven, StopBits::kTwo, true}, 115200,
                {115200, 8, Parity::kNone, StopBits::kOne, true}},
        RateRow{"OddRatePassedThrough", {9600, 8, Parity::kMark, StopBits::kOne, false}, 12345,
                {12345, 8, Parity::kNone, StopBits::kOne, false}},
        RateRow{"ZeroRatePassedThrough", {9600, 5, Parity::kSpace, StopBits::kOnePointFive, false}, 0,
                {0, 8, Parity::kNone, StopBits::kOne, false}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ConfigurePort, WithoutAnOpenPortFails) {
  PortBench bench;
  EXPECT_EQ(bench.port.ConfigurePort(115200), status::kPortError);
  EXPECT_EQ(bench.system.log, SetupUpTo(2));
}

}  // namespace
}  // namespace flashkit::testing
