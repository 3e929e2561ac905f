#include "sim/devsim_options.h"
#include "tests/sim/sim_test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace flashkit::sim {
namespace {

using testing::Words;

// The settings a line gives, written out so rows compare as text.
std::string Describe(const DevsimOptions& o) {
  std::ostringstream s;
  s << (o.command == DevsimCommand::kBoard ? "board" : o.command == DevsimCommand::kWire ? "wire" : "help");
  s << " com";
  for (unsigned c : o.coms) s << " " << c;
  if (!o.usb_name.empty()) s << " usb " << o.usb_name;
  s << " baud " << o.rate.baud << " bits " << o.rate.bits_per_char << " drop " << o.faults.drop
    << " corrupt " << o.faults.corrupt << " seed " << o.seed;
  if (o.command == DevsimCommand::kBoard) {
    s << " store " << o.store_dir << " boot " << o.boot_lines << (o.no_request ? " no-request" : "")
      << (o.once ? " once" : "");
  }
  return s.str();
}

struct GoodCase {
  const char* name;
  std::string line;
  std::string settings;
};

class DevsimGoodLine : public ::testing::TestWithParam<GoodCase> {};

TEST_P(DevsimGoodLine, Parses) {
  const auto parsed = ParseCommandLine(Words(GetParam().line));
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(Describe(*parsed.options), GetParam().settings);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DevsimGoodLine,
    ::testing::Values(
        GoodCase{"BoardDefaults", "board --com 3",
                 "board com 3 baud 115200 bits 10 drop 0 corrupt 0 seed 1 store . boot 5"},
        GoodCase{"BoardEverything",
                 "board --com 12 --baud 9600 --bits 11 --store /tmp/s --no-request --once "
                 "--boot-lines 0 --corrupt 0.01 --drop 0.5 --seed 99",
                 "board com 12 baud 9600 bits 11 drop 0.5 corrupt 0.01 seed 99 store /tmp/s boot 0 "
                 "no-request once"},
        // A rack: a board per --com.
        GoodCase{"BoardRack", "board --com 3 --com 12 --com 4 --store /tmp/s --once",
                 "board com 3 12 4 baud 115200 bits 10 drop 0 corrupt 0 seed 1 store /tmp/s boot 5 once"},
        GoodCase{"Unpaced", "board --com 1 --baud 0",
                 "board com 1 baud 0 bits 10 drop 0 corrupt 0 seed 1 store . boot 5"},
        // A USB link has no baud rate of its own: unpaced unless asked.
        GoodCase{"UsbBoardUnpaced", "board --usb dev-1 --store /tmp/s --once",
                 "board com usb dev-1 baud 0 bits 10 drop 0 corrupt 0 seed 1 store /tmp/s boot 5 once"},
        GoodCase{"UsbBoardPaced", "board --baud 115200 --usb=b2",
                 "board com usb b2 baud 115200 bits 10 drop 0 corrupt 0 seed 1 store . boot 5"},
        GoodCase{"EqualsForm", "wire --com=4 --com=5 --baud=57600",
                 "wire com 4 5 baud 57600 bits 10 drop 0 corrupt 0 seed 1"},
        GoodCase{"Help", "--help", "help com baud 115200 bits 10 drop 0 corrupt 0 seed 1"}),
    [](const auto& info) { return std::string(info.param.name); });

class DevsimBadLine : public ::testing::TestWithParam<std::pair<const char*, std::string>> {};

TEST_P(DevsimBadLine, Refused) {
  const auto parsed = ParseCommandLine(Words(GetParam().second));
  EXPECT_FALSE(parsed.options);
  EXPECT_FALSE(parsed.error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DevsimBadLine,
    ::testing::Values(std::pair{"Nothing", ""}, std::pair{"UnknownCommand", "modem --com 3"},
                      std::pair{"BoardWithoutCom", "board"},
                      std::pair{"BoardSameComTwice", "board --com 3 --com 4 --com 3"},
                      std::pair{"BoardComsAndUsb", "board --com 3 --com 4 --usb b"},
                      std::pair{"WireOneCom", "wire --com 3"},
                      std::pair{"WireThreeComs", "wire --com 3 --com 4 --com 5"},
                      std::pair{"UsbFramedCom", "usb-framed --usb f --com 3"},
                      std::pair{"WireSameComTwice", "wire --com 3 --com 3"},
                      std::pair{"WireBoardOption", "wire --com 3 --com 4 --once"},
                      std::pair{"MissingValue", "board --com"},
                      std::pair{"NotANumber", "board --com three"},
                      std::pair{"TrailingJunk", "board --com 3x"},
                      std::pair{"ComZero", "board --com 0"},
                      std::pair{"NegativeBaud", "board --com 3 --baud -1"},
                      std::pair{"RateAboveOne", "board --com 3 --drop 1.5"},
                      std::pair{"FlagWithValue", "board --com 3 --once=yes"},
                      std::pair{"UnknownOption", "board --com 3 --parity even"},
                      std::pair{"ComAndUsb", "board --com 3 --usb b"},
                      std::pair{"TwoUsbNames", "board --usb b --usb c"},
                      std::pair{"UsbNameClimbs", "board --usb .."},
                      std::pair{"UsbNameWithSlash", "board --usb a/b"},
                      std::pair{"UsbWithoutRequest", "board --usb b --no-request"},
                      std::pair{"UsbBootLog", "board --boot-lines 3 --usb b"},
                      std::pair{"WireOverUsb", "wire --com 1 --com 2 --usb b"}),
    [](const auto& info) { return std::string(info.param.first); });

struct TimerCase {
  const char* name;
  std::string line;
  std::string outcome;  // "timer N", "no timer", or the refusal
};

class DevsimLatencyTimer : public ::testing::TestWithParam<TimerCase> {};

TEST_P(DevsimLatencyTimer, TakenOrRefusedWithItsReason) {
  const auto parsed = ParseCommandLine(Words(GetParam().line));
  std::string outcome = parsed.error;
  if (parsed.options) {
    const auto& ms = parsed.options->latency_timer_ms;
    outcome = ms ? "timer " + std::to_string(*ms) : "no timer";
  }
  EXPECT_EQ(outcome, GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DevsimLatencyTimer,
    ::testing::Values(
        TimerCase{"BoardDefault", "board --com 3 --latency-timer 16", "timer 16"},
        TimerCase{"WireLowLatency", "wire --com 1 --com 2 --latency-timer=1", "timer 1"},
        TimerCase{"McuLongest", "mcu --com 4 --latency-timer 255", "timer 255"},
        TimerCase{"AbsentNoAdapter", "mcu --com 4", "no timer"},
        TimerCase{"Zero", "board --com 3 --latency-timer 0", "bad value '0' for --latency-timer"},
        TimerCase{"PastTheChip", "wire --com 1 --com 2 --latency-timer 256",
                  "bad value '256' for --latency-timer"},
        TimerCase{"WithUnit", "mcu --com 4 --latency-timer 16ms", "bad value '16ms' for --latency-timer"},
        TimerCase{"UsbFramed", "usb-framed --usb f --latency-timer 16",
                  "--latency-timer needs a serial line, and usb-framed has none"},
        TimerCase{"UsbBoard", "board --usb b --latency-timer 1",
                  "--latency-timer needs a serial line, and a USB board has none"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::sim
