#include "console/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/console/console_harness.h"

namespace flashkit::testing {
namespace {

// The settings a command line can change, with the values of an empty line.
struct Settings {
  uint32_t port = 1;
  std::optional<std::string> port_path{};
  uint32_t baud = 115200;
  uint32_t timeout_ms = 30000;
  uint32_t log_timeout_ms = 10000;
  bool xmodem = false;
  bool receive_crc = false;
  bool send_1k = false;
  bool ymodem_g = false;
  bool send = false;
  bool receive = false;
  bool use_usb = false;
  bool log_echo = false;
  std::optional<std::string> file1{};
  std::optional<std::string> file2{};
  std::optional<std::string> log_file{};
  std::string log_stop{};

  bool operator==(const Settings&) const = default;
};

void PrintTo(const Settings& s, std::ostream* os) {
  auto text = [](const std::optional<std::string>& v) { return v ? "'" + *v + "'" : "none"; };
  *os << "port " << s.port << " path " << text(s.port_path) << " baud " << s.baud << " timeout " << s.timeout_ms << " logtimeout "
      << s.log_timeout_ms << " xmodem " << s.xmodem << " crc " << s.receive_crc << " 1k "
      << s.send_1k << " g " << s.ymodem_g << " send " << s.send << " receive " << s.receive
      << " usb " << s.use_usb << " echo " << s.log_echo << " file1 " << text(s.file1)
      << " file2 " << text(s.file2) << " logfile " << text(s.log_file) << " stop '"
      << s.log_stop << "'";
}

Settings SettingsOf(const Options& o) {
  return {o.port,     o.port_path, o.baud,    o.timeout_ms, o.log_timeout_ms, o.xmodem,
          o.receive_crc, o.send_1k, o.ymodem_g, o.send,   o.receive,        o.use_usb,
          o.log_echo, o.file1,    o.file2,   o.log_file,   std::string(o.LogStop())};
}

struct Outcome {
  std::optional<int32_t> exit;
  std::string out;
  std::string err;
};

Outcome Parse(ConsoleHarness& h, const std::vector<std::string>& args) {
  std::vector<const char*> argv{"linkxfer"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  auto exit = h.ExitOf([&] {
    ParseCommandLine(h.context, static_cast<int>(argv.size()), argv.data());
  });
  return {exit, h.out.text(), h.err.text()};
}

const std::string k128(128, 'z');
const std::string k129(129, 'z');

struct OptionCase {
  const char* name;
  std::vector<std::string> args;
  Settings expected;
};

class OptionTable : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionTable, FillsTheSettings) {
  ConsoleHarness h;
  Outcome outcome = Parse(h, GetParam().args);
  ASSERT_EQ(outcome.exit, std::nullopt) << outcome.err;
  EXPECT_EQ(SettingsOf(h.options), GetParam().expected);
  EXPECT_EQ(h.options.program_name, "linkxfer");
  EXPECT_EQ(outcome.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OptionTable,
    ::testing::Values(
        OptionCase{"nothing", {}, {}},
        OptionCase{"baud", {"-b9600"}, {.baud = 9600}},
        OptionCase{"baud with plus", {"-b+5"}, {.baud = 5}},
        OptionCase{"baud with leading blank", {"-b 7"}, {.baud = 7}},
        OptionCase{"port", {"-p3"}, {.port = 3}},
        OptionCase{"port without value is 0", {"-p"}, {.port = 0}},
        OptionCase{"port by path", {"-p/dev/ttyUSB0"}, {.port_path = "/dev/ttyUSB0"}},
        OptionCase{"a later number replaces the path", {"-p/dev/ttyUSB0", "-p3"}, {.port = 3}},
        OptionCase{"a later path replaces the number",
                   {"-p3", "-p/dev/serial/by-id/usb-FTDI"},
                   {.port = 3, .port_path = "/dev/serial/by-id/usb-FTDI"}},
        OptionCase{"time-out in seconds", {"-t60"}, {.timeout_ms = 60000}},
        OptionCase{"time-out 0", {"-t0"}, {.timeout_ms = 0}},
        OptionCase{"largest whole time-out", {"-t4294966"}, {.timeout_ms = 4294966000u}},
        OptionCase{"time-out saturates", {"-t4294967"}, {.timeout_ms = 4294967295u}},
        OptionCase{"negative time-out saturates", {"-t-1"}, {.timeout_ms = 4294967295u}},
        OptionCase{"log time-out", {"-lt5"}, {.log_timeout_ms = 5000}},
        OptionCase{"-r", {"-r"}, {.receive = true}},
        OptionCase{"-ry", {"-ry"}, {.receive = true}},
        OptionCase{"-rg", {"-rg"}, {.ymodem_g = true, .receive = true}},
        OptionCase{"-rx", {"-rx"}, {.xmodem = true, .receive = true}},
        OptionCase{"-rc", {"-rc"}, {.xmodem = true, .receive_crc = true, .receive = true}},
        OptionCase{"-r clears G", {"-rg", "-r"}, {.receive = true}},
        OptionCase{"-rx clears CRC", {"-rc", "-rx"}, {.xmodem = true, .receive = true}},
        OptionCase{"-s", {"-s"}, {.send = true}},
        OptionCase{"-sy", {"-sy"}, {.send = true}},
        OptionCase{"-sx", {"-sx"}, {.xmodem = true, .send = true}},
        OptionCase{"-sk", {"-sk"}, {.xmodem = true, .send_1k = true, .send = true}},
        OptionCase{"-sx clears 1K", {"-sk", "-sx"}, {.xmodem = true, .send = true}},
        OptionCase{"last form decides xmodem",
                   {"-rc", "-sy"},
                   {.receive_crc = true, .send = true, .receive = true}},
        OptionCase{"-u", {"-u"}, {.use_usb = true}},
        OptionCase{"-u ignores its value", {"-uxyz"}, {.use_usb = true}},
        OptionCase{"-le", {"-le"}, {.log_echo = true}},
        OptionCase{"-lf", {"-lfboot.log"}, {.log_file = "boot.log"}},
        OptionCase{"-lf may be empty", {"-lf"}, {.log_file = ""}},
        OptionCase{"-lx", {"-lxlogin:"}, {.log_stop = "login:"}},
        OptionCase{"-lx empty", {"-lx"}, {}},
        OptionCase{"-lx of 128 characters", {"-lx" + k128}, {.log_stop = k128}},
        OptionCase{"one file", {"fw.bin"}, {.file1 = "fw.bin"}},
        OptionCase{"two files", {"fw.bin", "dev.bin"}, {.file1 = "fw.bin", .file2 = "dev.bin"}},
        OptionCase{"quoted option", {"\"-sy\""}, {.send = true}},
        OptionCase{"quoted file", {"\"my fw.bin\""}, {.file1 = "my fw.bin"}},
        OptionCase{"lone quote is an empty file name", {"\""}, {.file1 = ""}},
        OptionCase{"quote at one end only is kept", {"\"fw.bin"}, {.file1 = "\"fw.bin"}},
        OptionCase{"the downloader's line",
                   {"\"fw.bin\"", "-sy", "-p3", "-b115200"},
                   {.port = 3, .send = true, .file1 = "fw.bin"}},
        OptionCase{"repeats: the last wins", {"-p3", "-p4", "-b1", "-b2"}, {.port = 4, .baud = 2}}),
    [](const auto& info) { return RowName(info.param.name); });

struct RejectCase {
  const char* name;
  std::vector<std::string> args;
  std::string message;  // before the hint on standard error
};

class Rejected : public ::testing::TestWithParam<RejectCase> {};

TEST_P(Rejected, EndsWithMessageHintAndStatusOne) {
  ConsoleHarness h;
  Outcome outcome = Parse(h, GetParam().args);
  EXPECT_EQ(outcome.exit, 1);
  EXPECT_EQ(outcome.err,
            GetParam().message + "\nTry 'linkxfer -h' for more information.\n");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Rejected,
    ::testing::Values(
        RejectCase{"unknown letter", {"-q"}, "Invalid option '-q'"},
        RejectCase{"dash alone", {"-"}, "Invalid option '-'"},
        RejectCase{"receive suffix of two letters", {"-rxx"}, "Invalid option '-rxx'"},
        RejectCase{"unknown send suffix", {"-sq"}, "Invalid option '-sq'"},
        RejectCase{"send suffix g", {"-sg"}, "Invalid option '-sg'"},
        RejectCase{"-l alone", {"-l"}, "Invalid option '-l'"},
        RejectCase{"-l unknown", {"-lz"}, "Invalid option '-lz'"},
        RejectCase{"quoted unknown", {"\"-q\""}, "Invalid option '-q'"},
        RejectCase{"bad baud", {"-bx"}, "Invalid BAUD argument"},
        RejectCase{"port with trailing letter", {"-p3x"}, "Invalid PORT argument"},
        RejectCase{"port name that is no path", {"-pttyUSB0"}, "Invalid PORT argument"},
        RejectCase{"time-out sign alone", {"-t-"}, "Invalid TIMEOUT argument"},
        RejectCase{"log time-out blank alone", {"-lt "}, "Invalid LOGTIMEOUT argument"},
        RejectCase{"-lx of 129 characters",
                   {"-lx" + k129},
                   "String too long in -lx option. Max length is 128"},
        RejectCase{"third file", {"a", "b", "c"}, "Too many file arguments"},
        RejectCase{"stops at the first error", {"-q", "-z"}, "Invalid option '-q'"}),
    [](const auto& info) { return RowName(info.param.name); });

TEST(CommandLine, EchoesEveryArgumentRunTogetherBeforeLookingAtIt) {
  ConsoleHarness h;
  Outcome outcome = Parse(h, {"\"fw.bin\"", "-sy", "-p3", "-q", "-b1"});
  EXPECT_EQ(outcome.out, "\"fw.bin\"-sy-p3-q");
  EXPECT_EQ(outcome.exit, 1);
}

TEST(CommandLine, HelpPrintsEveryOptionAndEndsWithStatusZero) {
  ConsoleHarness h;
  Outcome outcome = Parse(h, {"-p3", "-h", "-q"});
  EXPECT_EQ(outcome.exit, 0);
  EXPECT_EQ(outcome.err, "");
  ASSERT_TRUE(outcome.out.starts_with("-p3-h\nUsage: linkxfer [options] [file1 [file2]]\n"))
      << outcome.out;
  for (const char* line : {"\n  -s, -sy ", "\n  -sx ", "\n  -sk ", "\n  -r, -ry ", "\n  -rg ",
                           "\n  -rx ", "\n  -rc ", "\n  -p<number> ", "\n  -b<number> ",
                           "\n  -t<seconds> ", "\n  -u ", "\n  -lf<path> ", "\n  -lt<seconds> ",
                           "\n  -lx<text> ", "\n  -le ", "\n  -h ", "\nExit status: 0"}) {
    EXPECT_NE(outcome.out.find(line), std::string::npos) << line;
  }
}

struct NumberCase {
  const char* text;
  bool ok;
  uint32_t value;  // when ok
};

class Numbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(Numbers, ParseNumber) {
  uint32_t value = 77;
  EXPECT_EQ(ParseNumber(GetParam().text, value), GetParam().ok);
  EXPECT_EQ(value, GetParam().ok ? GetParam().value : 77u);
}

INSTANTIATE_TEST_SUITE_P(Rows, Numbers,
                         ::testing::Values(NumberCase{"", true, 0},
                                           NumberCase{"0", true, 0},
                                           NumberCase{"115200", true, 115200},
                                           NumberCase{"+5", true, 5},
                                           NumberCase{" 7", true, 7},
                                           NumberCase{"\t 7", true, 7},
                                           NumberCase{"-1", true, 4294967295u},
                                           NumberCase{" -5", true, 4294967291u},
                                           NumberCase{"4294967295", true, 4294967295u},
                                           NumberCase{"4294967296", true, 4294967295u},
                                           NumberCase{"99999999999999999999999", true,
                                                      4294967295u},
                                           NumberCase{"-", false, 0},
                                           NumberCase{"+", false, 0},
                                           NumberCase{" ", false, 0},
                                           NumberCase{"3x", false, 0},
                                           NumberCase{"7 ", false, 0},
                                           NumberCase{"--1", false, 0},
                                           NumberCase{"x", false, 0}));

class Seconds : public ::testing::TestWithParam<NumberCase> {};

TEST_P(Seconds, ParseSeconds) {
  uint32_t ms = 77;
  EXPECT_EQ(ParseSeconds(GetParam().text, ms), GetParam().ok);
  EXPECT_EQ(ms, GetParam().ok ? GetParam().value : 77u);
}

INSTANTIATE_TEST_SUITE_P(Rows, Seconds,
                         ::testing::Values(NumberCase{"", true, 0},
                                           NumberCase{"1", true, 1000},
                                           NumberCase{"30", true, 30000},
                                           NumberCase{"4294966", true, 4294966000u},
                                           NumberCase{"4294967", true, 4294967295u},
                                           NumberCase{"4294968", true, 4294967295u},
                                           NumberCase{"99999999999", true, 4294967295u},
                                           NumberCase{"-1", true, 4294967295u},
                                           NumberCase{"-4294967295", true, 1000},
                                           NumberCase{"3x", false, 0},
                                           NumberCase{" ", false, 0}));

}  // namespace
}  // namespace flashkit::testing
