#include "common/crc16_table.h"

#include <gtest/gtest.h>

#include <string_view>

namespace flashkit {
namespace {

struct CrcCase {
  std::string_view input;
  uint16_t crc;
};

class Crc16TableCompute : public ::testing::TestWithParam<CrcCase> {};

TEST_P(Crc16TableCompute, MatchesPublishedUmtsValues) {
  const Crc16Table table;
  const CrcCase& c = GetParam();
  EXPECT_EQ(table.Compute(reinterpret_cast<const uint8_t*>(c.input.data()),
                          static_cast<uint32_t>(c.input.size())),
            c.crc);
}

INSTANTIATE_TEST_SUITE_P(Check, Crc16TableCompute,
                         ::testing::Values(CrcCase{"123456789", 0xFEE8}, CrcCase{"abc", 0xCADB},
                                           CrcCase{"", 0x0000}));

TEST(Crc16Table, TableEntries) {
  const Crc16Table table;
  EXPECT_EQ(table.Entry(0), 0x0000u);
  EXPECT_EQ(table.Entry(1), 0x8005u);
  EXPECT_EQ(table.Entry(2), 0x800Fu);
  EXPECT_EQ(table.Entry(3), 0x000Au);
  EXPECT_EQ(table.Entry(128), 0x8303u);
  EXPECT_EQ(table.Entry(255), 0x0202u);
}

TEST(Crc16Table, BuildTableUsesItsArgument) {
  Crc16Table table;
  table.BuildTable(0x1021);
  EXPECT_EQ(table.Entry(1), 0x1021u);
  const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(table.Compute(digits, 9), 0x31C3);  // CRC-16/XMODEM with that polynomial
}

}  // namespace
}  // namespace flashkit
