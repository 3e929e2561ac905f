#include "console/log_capture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/console/console_harness.h"
#include "tests/support/fake_port.h"

namespace flashkit::testing {
namespace {

struct Arrival {
  uint64_t at_ms;  // virtual time the bytes arrive
  std::string bytes;
};

struct CaptureCase {
  const char* name;
  std::string stop{};
  bool echo{};
  std::vector<Arrival> device{};
  std::optional<int> failing_read{};
  std::string file{};                 // what the log file holds afterwards
  std::string console{};              // standard output after the opening line
  std::optional<int32_t> exit{};      // the run ended with this status
  std::string error{};                // standard error
  std::optional<uint64_t> ends_at{};  // virtual time when the capture ends
};

class Capture : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(Capture, RecordsUntilSilenceOrTerminationString) {
  const CaptureCase& row = GetParam();
  TempDir dir;
  ConsoleHarness h;
  h.options.log_file = (dir / "boot.log").string();
  h.options.log_timeout_ms = 2000;
  h.options.log_echo = row.echo;
  std::copy(row.stop.begin(), row.stop.end(), h.options.log_stop.begin());
  h.options.log_stop_length = static_cast<uint32_t>(row.stop.size());
  h.options.log_stream.reset(std::fopen(h.options.log_file->c_str(), "w+b"));
  FakePort port(h.clock);
  for (const Arrival& a : row.device) port.Arrive(a.bytes, a.at_ms);
  port.fail_read_call = row.failing_read;

  auto exit = h.ExitOf([&] { CaptureLog(h.context, port, false); });

  EXPECT_EQ(exit, row.exit);
  EXPECT_FALSE(h.options.log_stream) << "the log file is closed on every path";
  EXPECT_EQ(ReadFile(*h.options.log_file), row.file);
  std::string opening = "Capturing log to " + *h.options.log_file + "...\n";
  std::string closing = row.exit ? "Plz....wait....\nClose the Command Window automatically!!\n" : "";
  EXPECT_EQ(h.out.text(), opening + row.console + closing);
  EXPECT_EQ(h.err.text(), row.error);
  if (row.ends_at) {
    EXPECT_EQ(h.clock.NowMs(), *row.ends_at + (row.exit ? 10 : 0));
  }
  for (uint32_t t : port.read_timeouts) EXPECT_EQ(t, 2000u);
  EXPECT_FALSE(port.saw_usb_flag);
}

const std::string kLong(128, 'L');  // a 128-character termination string
std::string Long(size_t from, size_t to) { return kLong.substr(from, to - from); }

INSTANTIATE_TEST_SUITE_P(
    Rows, Capture,
    ::testing::Values(
        CaptureCase{.name = "silent device",
                    .file = "",
                    .console = "Log capture timeout.\n",
                    .ends_at = 2000},
        CaptureCase{.name = "data then silence",
                    .device = {{0, "boot\n"}, {1500, "ready\n"}},
                    .file = "boot\nready\n",
                    .console = "Log capture timeout.\n",
                    .ends_at = 3500},
        CaptureCase{.name = "empty termination string ends only by time-out",
                    .stop = "",
                    .device = {{0, "xx"}},
                    .file = "xx",
                    .console = "Log capture timeout.\n",
                    .ends_at = 2000},
        CaptureCase{.name = "string split across two reads",
                    .stop = "OK",
                    .device = {{0, "boot O"}, {100, "K"}},
                    .file = "boot OK",
                    .console = "Log capture termination string found.\n",
                    .ends_at = 100},
        CaptureCase{.name = "string split across three reads",
                    .stop = "login:",
                    .device = {{0, "log"}, {100, "i"}, {200, "n: "}},
                    .file = "login: ",
                    .console = "Log capture termination string found.\n",
                    .ends_at = 200},
        CaptureCase{.name = "bytes after the string in the same read are kept and echoed",
                    .stop = "END",
                    .echo = true,
                    .device = {{0, "xxENDyyy"}},
                    .file = "xxENDyyy",
                    .console = "xxENDyyyLog capture termination string found.\n"},
        CaptureCase{.name = "echo drops carriage returns, the file keeps them",
                    .echo = true,
                    .device = {{0, "abc\r\n"}},
                    .file = "abc\r\n",
                    .console = "abc\nLog capture timeout.\n"},
        CaptureCase{.name = "carried bytes are not written twice",
                    .stop = "STOP",
                    .echo = true,
                    .device = {{0, "aSTO"}, {100, "bSTO"}, {200, "P!"}},
                    .file = "aSTObSTOP!",
                    .console = "aSTObSTOP!Log capture termination string found.\n"},
        CaptureCase{.name = "beginning of the string then silence",
                    .stop = "END",
                    .device = {{0, "xxEN"}},
                    .file = "xxEN",
                    .console = "Log capture timeout.\n",
                    .ends_at = 2000},
        CaptureCase{.name = "case matters",
                    .stop = "ok",
                    .device = {{0, "OK"}},
                    .file = "OK",
                    .console = "Log capture timeout.\n"},
        CaptureCase{.name = "128 characters split 127 and 1",
                    .stop = kLong,
                    .device = {{0, "x" + Long(0, 127)}, {100, Long(127, 128)}},
                    .file = "x" + kLong,
                    .console = "Log capture termination string found.\n"},
        CaptureCase{.name = "128 characters split 1 and 127",
                    .stop = kLong,
                    .device = {{0, std::string(1100, 'y') + Long(0, 1)}, {100, Long(1, 128)}},
                    .file = std::string(1100, 'y') + kLong,
                    .console = "Log capture termination string found.\n"},
        CaptureCase{.name = "128 characters with one wrong in the middle",
                    .stop = kLong,
                    .device = {{0, Long(0, 64) + "M" + Long(65, 128)}},
                    .file = Long(0, 64) + "M" + Long(65, 128),
                    .console = "Log capture timeout.\n"},
        CaptureCase{.name = "read failure",
                    .device = {{0, "boot"}},
                    .failing_read = 2,
                    .file = "boot",
                    .console = "",
                    .exit = -105,
                    .error = "Error during log capture. Error -105\n\n"}),
    [](const auto& info) { return RowName(info.param.name); });

TEST(Capture, FileErrorEndsTheRunWith501) {
  ConsoleHarness h;
  h.options.log_file = "/dev/full";
  h.options.log_stream.reset(std::fopen("/dev/full", "w+b"));
  ASSERT_TRUE(h.options.log_stream);
  FakePort port(h.clock);
  port.Arrive("boot\n");
  auto exit = h.ExitOf([&] { CaptureLog(h.context, port, false); });
  EXPECT_EQ(exit, -501);
  EXPECT_EQ(h.err.text(), "File error during log capture. Error -501\n\n");
  EXPECT_FALSE(h.options.log_stream);
}

TEST(Capture, EveryReadAsksForAtLeast1025Bytes) {
  // With 127 bytes carried, a burst of 1025 bytes still arrives in one read:
  // the string is found in it before any time-out.
  ConsoleHarness h;
  TempDir dir;
  h.options.log_file = (dir / "log").string();
  h.options.log_stream.reset(std::fopen(h.options.log_file->c_str(), "w+b"));
  std::copy(kLong.begin(), kLong.end(), h.options.log_stop.begin());
  h.options.log_stop_length = 128;
  FakePort port(h.clock);
  port.Arrive(std::string(200, 'a'));
  port.Arrive(std::string(1025 - 128, 'b') + kLong, 100);
  h.ExitOf([&] { CaptureLog(h.context, port, false); });
  EXPECT_EQ(port.read_calls, 2);
  EXPECT_EQ(port.Pending(), 0u);
  EXPECT_TRUE(h.out.text().ends_with("Log capture termination string found.\n"));
}

}  // namespace
}  // namespace flashkit::testing
