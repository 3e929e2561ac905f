// devsim usb-framed's command line: what it takes, its defaults, and what it
// refuses.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/devsim_options.h"
#include "tests/sim/sim_test_support.h"

namespace flashkit::sim {
namespace {

using testing::Words;

std::string Describe(const DevsimOptions& o) {
  std::ostringstream s;
  s << "usb " << o.usb_name << " store " << o.store_dir << " baud " << o.rate.baud << " bits "
    << o.rate.bits_per_char << " drop " << o.faults.drop << " corrupt " << o.faults.corrupt
    << " seed " << o.seed << " absent " << o.reenumerate_ms << " silent ";
  if (o.silent_after) s << *o.silent_after;
  else s << "never";
  return s.str();
}

struct FramedLine {
  const char* name;
  std::string line;
  std::string settings;  // empty: refused
};

const FramedLine kLines[] = {
    {"Defaults", "usb-framed --usb dev1",
     "usb dev1 store . baud 0 bits 10 drop 0 corrupt 0 seed 1 absent 200 silent never"},
    {"Everything",
     "usb-framed --usb=d-2 --store /tmp/s --reenumerate-ms 50 --silent-after 0 --baud 115200 "
     "--bits 11 --corrupt 0.1 --drop 0.2 --seed 7",
     "usb d-2 store /tmp/s baud 115200 bits 11 drop 0.2 corrupt 0.1 seed 7 absent 50 silent 0"},
    {"NoUsb", "usb-framed --store /tmp", ""},
    {"TwoUsbNames", "usb-framed --usb a --usb b", ""},
    {"UsbNameClimbs", "usb-framed --usb ..", ""},
    {"ComPort", "usb-framed --usb a --com 3", ""},
    {"OnceIsTheBoards", "usb-framed --usb a --once", ""},
    {"AbsentTooLong", "usb-framed --usb a --reenumerate-ms 60001", ""},
    {"SilentNotANumber", "usb-framed --usb a --silent-after some", ""},
    {"BoardHasNoSilence", "board --usb a --silent-after 3", ""},
};

class UsbFramedLine : public ::testing::TestWithParam<FramedLine> {};

TEST_P(UsbFramedLine, ParsesOrRefuses) {
  const FramedLine& row = GetParam();
  const ParsedCommandLine parsed = ParseCommandLine(Words(row.line));
  if (row.settings.empty()) {
    EXPECT_FALSE(parsed.options);
    EXPECT_FALSE(parsed.error.empty());
    return;
  }
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->command, DevsimCommand::kUsbFramed);
  EXPECT_EQ(Describe(*parsed.options), row.settings);
}

INSTANTIATE_TEST_SUITE_P(Lines, UsbFramedLine, ::testing::ValuesIn(kLines),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::sim
