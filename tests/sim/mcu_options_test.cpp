// devsim mcu's command line: its defaults (8E1, an STM32F103 of medium
// density) and what each option changes.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/devsim_options.h"

namespace flashkit::sim {
namespace {

std::string DescribeMcu(const DevsimOptions& o) {
  std::ostringstream s;
  s << "com";
  for (unsigned c : o.coms) s << " " << c;
  s << " baud " << o.rate.baud << " bits "
    << o.rate.bits_per_char << " flash " << o.mcu.flash_bytes << " page " << o.mcu.page_bytes
    << " id 0x" << std::hex << o.mcu.product_id << std::dec << " program " << o.mcu.program_us
    << " page-erase " << o.mcu.page_erase_ms << " mass-erase " << o.mcu.mass_erase_ms
    << " drop " << o.faults.drop << " seed " << o.seed;
  if (!o.dump_path.empty()) s << " dump " << o.dump_path;
  for (const McuStuckBit& b : o.mcu.stuck_bits) s << " stuck 0x" << std::hex << b.address << std::dec << ":" << int{b.bit};
  return s.str();
}

struct McuLine {
  const char* name;
  std::vector<std::string> args;
  std::string settings;  // empty: refused
};

class McuCommandLine : public ::testing::TestWithParam<McuLine> {};

TEST_P(McuCommandLine, Parses) {
  const auto parsed = ParseCommandLine(GetParam().args);
  if (GetParam().settings.empty()) {
    EXPECT_FALSE(parsed.options);
    EXPECT_FALSE(parsed.error.empty());
    return;
  }
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->command, DevsimCommand::kMcu);
  EXPECT_EQ(DescribeMcu(*parsed.options), GetParam().settings);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, McuCommandLine,
    ::testing::Values(
        McuLine{"Defaults",
                {"mcu", "--com", "3"},
                "com 3 baud 115200 bits 11 flash 131072 page 1024 id 0x410 program 52 page-erase 20 "
                "mass-erase 40 drop 0 seed 1"},
        McuLine{"Everything",
                {"mcu", "--com", "7", "--baud", "57600", "--bits", "10", "--flash-kib", "64",
                 "--page-bytes", "2048", "--product-id", "0x414", "--program-us", "40",
                 "--page-erase-ms", "30", "--mass-erase-ms", "50", "--dump", "/tmp/f.bin",
                 "--drop", "0.25", "--seed", "9"},
                "com 7 baud 57600 bits 10 flash 65536 page 2048 id 0x414 program 40 page-erase 30 "
                "mass-erase 50 drop 0.25 seed 9 dump /tmp/f.bin"},
        McuLine{"DecimalProductId",
                {"mcu", "--com", "1", "--product-id", "1040"},
                "com 1 baud 115200 bits 11 flash 131072 page 1024 id 0x410 program 52 page-erase 20 "
                "mass-erase 40 drop 0 seed 1"},
        // A rack: an MCU per --com, each with the stuck bits.
        McuLine{"TwoComsAndStuckBits",
                {"mcu", "--com", "2", "--com", "1", "--stuck-bit", "0x0801fFFF:7", "--stuck-bit",
                 "134217744"},
                "com 2 1 baud 115200 bits 11 flash 131072 page 1024 id 0x410 program 52 page-erase 20 "
                "mass-erase 40 drop 0 seed 1 stuck 0x801ffff:7 stuck 0x8000010:0"},
        McuLine{"NoCom", {"mcu", "--flash-kib", "64"}, ""},
        McuLine{"SameComTwice", {"mcu", "--com", "1", "--com", "2", "--com", "1"}, ""},
        McuLine{"StuckBitEight", {"mcu", "--com", "1", "--stuck-bit", "0x08000000:8"}, ""},
        McuLine{"StuckBitWithoutItsBit", {"mcu", "--com", "1", "--stuck-bit", "0x08000000:"}, ""},
        McuLine{"StuckBitNotAnAddress", {"mcu", "--com", "1", "--stuck-bit", "0xZZ:1"}, ""},
        McuLine{"StuckBitBelowTheFlash", {"mcu", "--com", "1", "--stuck-bit", "0x07ffffff"}, ""},
        // Checked against the flash size however the options come.
        McuLine{"StuckBitPastTheFlash",
                {"mcu", "--com", "1", "--stuck-bit", "0x08010000", "--flash-kib", "64"}, ""},
        McuLine{"StuckBitOnBoard", {"board", "--com", "1", "--stuck-bit", "0x08000000"}, ""},
        McuLine{"PageNotDividingFlash", {"mcu", "--com", "1", "--flash-kib", "3", "--page-bytes", "2048"}, ""},
        McuLine{"ProductIdTooLarge", {"mcu", "--com", "1", "--product-id", "0x10000"}, ""},
        McuLine{"ProductIdNotHex", {"mcu", "--com", "1", "--product-id", "0xZZ"}, ""},
        McuLine{"ZeroFlash", {"mcu", "--com", "1", "--flash-kib", "0"}, ""},
        McuLine{"BoardOption", {"mcu", "--com", "1", "--once"}, ""},
        McuLine{"McuOptionOnBoard", {"board", "--com", "1", "--dump", "f.bin"}, ""},
        McuLine{"McuOptionOnWire", {"wire", "--com", "1", "--com", "2", "--flash-kib", "64"}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::sim
