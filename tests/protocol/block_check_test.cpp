#include <gtest/gtest.h>

#include <string_view>

#include "protocol/xfer_session.h"
#include "tests/support/xfer_row_name.h"
#include "tests/support/xfer_wire.h"

namespace flashkit {
namespace {

using testing::Bytes;
using testing::PrintTo;

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

struct CheckRow {
  const char* name;
  Bytes data;
  uint16_t crc;
  uint8_t checksum;
};

class BlockCheck : public ::testing::TestWithParam<CheckRow> {};

TEST_P(BlockCheck, CrcAndChecksumOfTheDataField) {
  const CheckRow& row = GetParam();
  const auto length = static_cast<uint32_t>(row.data.size());
  EXPECT_EQ(XferSession::BlockCrc(row.data.data(), length), row.crc);
  // The bit-serial register, with two zero bytes pushed through, agrees.
  uint16_t serial = 0;
  for (uint8_t byte : row.data) serial = XferSession::UpdateCrc(serial, byte);
  serial = XferSession::UpdateCrc(XferSession::UpdateCrc(serial, 0), 0);
  EXPECT_EQ(serial, row.crc);
  EXPECT_EQ(XferSession::BlockChecksum(row.data.data(), length), row.checksum);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BlockCheck,
    ::testing::Values(
        CheckRow{"nine digits give the published check value", Text("123456789"), 0x31C3, 0xDD},
        CheckRow{"one letter", Text("A"), 0x58E5, 0x41},
        CheckRow{"nothing", {}, 0x0000, 0x00},
        CheckRow{"a zero block", Bytes(128, 0), 0x0000, 0x00},
        CheckRow{"a fill block: checksum keeps the low 8 bits", Bytes(128, 0x1A), 0xF8B0, 0x00},
        CheckRow{"bytes above 127 add as unsigned", Bytes{0xFF, 0xFF, 0x03}, 0xFCFF, 0x01},
        CheckRow{"a 1024-byte field", testing::Pattern(1024),
                 testing::ReferenceCrc(testing::Pattern(1024)), [] {
                   unsigned sum = 0;
                   for (uint8_t b : testing::Pattern(1024)) sum += b;
                   return static_cast<uint8_t>(sum);
                 }()}),
    testing::XferRowName<CheckRow>);

}  // namespace
}  // namespace flashkit
