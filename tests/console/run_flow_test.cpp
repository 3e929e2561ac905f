#include "console/run_flow.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/crc16_table.h"
#include "console/usage.h"
#include "tests/console/console_harness.h"
#include "tests/support/fake_device_system.h"

namespace flashkit::testing {
namespace {

using platform::SysError;

struct FlowCase {
  const char* name;
  std::vector<std::string> args{};
  std::optional<SysError> open_error{};
  int32_t status{};
  std::string out{};  // standard output, after the echoed arguments
  std::string err{};
  int serial_opens{};
  std::optional<std::string> log_content{};  // of log.txt in the working folder
};

constexpr const char* kFailed = "Plz....wait....\nClose the Command Window automatically!!\n";

std::string UsageText() {
  CapturedOut usage;
  PrintUsage(usage, "linkxfer");
  return usage.text();
}

class RunFlow : public ::testing::TestWithParam<FlowCase> {};

TEST_P(RunFlow, OpensThePortRunsTheJobsAndEnds) {
  const FlowCase& row = GetParam();
  TempDir dir;
  ScopedWorkingDir cwd(dir.path());
  ConsoleHarness h;
  FakeDeviceSystem system;
  system.open_error = row.open_error;
  Crc16Table crc;
  RunContext run{{h.options, h.out, h.err, system.time}, system, crc};
  std::vector<const char*> argv{"linkxfer"};
  std::string echo;
  for (const std::string& a : row.args) {
    argv.push_back(a.c_str());
    echo += a;
  }

  int32_t status = RunLinkxfer(run, static_cast<int>(argv.size()), argv.data());

  EXPECT_EQ(status, row.status);
  ASSERT_TRUE(h.out.text().starts_with(echo)) << h.out.text();
  EXPECT_EQ(h.out.text().substr(echo.size()), row.out);
  EXPECT_EQ(h.err.text(), row.err);
  EXPECT_EQ(static_cast<int>(system.opened_names.size()), row.serial_opens);
  if (row.serial_opens > 0) {
    EXPECT_TRUE(system.opened_names[0].ends_with("com1")) << system.opened_names[0];
  }
  // However the run ends, an opened line is released.
  if (row.serial_opens > 0 && !row.open_error) {
    EXPECT_TRUE(system.line.closed);
  }
  EXPECT_EQ(std::filesystem::exists("log.txt"), row.log_content.has_value());
  if (row.log_content) {
    EXPECT_EQ(ReadFile("log.txt"), *row.log_content);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RunFlow,
    ::testing::Values(
        FlowCase{"no arguments opens and closes COM1", {}, std::nullopt, 0, "", "", 1},
        FlowCase{"help opens nothing", {"-h"}, std::nullopt, 0, UsageText(), "", 0},
        FlowCase{"bad option opens nothing", {"-q"}, std::nullopt, 1, "",
                 "Invalid option '-q'\nTry 'linkxfer -h' for more information.\n", 0},
        FlowCase{"missing port", {}, SysError::kFileNotFound, -101, kFailed,
                 "Can't open port. Error -101\n\n", 1},
        FlowCase{"port held elsewhere", {"-sy", "fw.bin"}, SysError::kAccessDenied, -102, kFailed,
                 "Can't open port. Error -102\n\n", 1},
        FlowCase{"log capture of a silent device", {"-lflog.txt", "-lt1"}, std::nullopt, 0,
                 "Capturing log to log.txt...\nLog capture timeout.\n", "", 1, ""},
        FlowCase{"log file cannot be created", {"-lfno/dir/log.txt", "fw.bin"}, std::nullopt,
                 -501, kFailed, "Can't create LogFile file 'no/dir/log.txt'. Error -501\n\n", 1},
        FlowCase{"the log file is opened before the send job", {"-lflog.txt", "missing.bin"},
                 std::nullopt, -300, kFailed, "Can't open file 'missing.bin'. Error -300\n\n",
                 1, ""},
        FlowCase{"receive wins over send on a COM port", {"-s", "-rx", "-lflog.txt"},
                 std::nullopt, 1, "",
                 "File argument missing\nTry 'linkxfer -h' for more information.\n", 1},
        FlowCase{"USB without a device", {"-u"}, std::nullopt, 0,
                 "UsbConnect errorOpenUSBHandler errorCreateComInfo errorUSB Opened successfully.\n", "", 0}),
    [](const auto& info) { return RowName(info.param.name); });

}  // namespace
}  // namespace flashkit::testing
