#include <gtest/gtest.h>

#include <string>

#include "protocol/header_sink.h"
#include "protocol/xfer_session.h"
#include "tests/support/xfer_row_name.h"
#include "tests/support/xfer_wire.h"

namespace flashkit {
namespace {

using namespace testing;
using testing::PrintTo;

// Block 0 as the sender builds it.
struct BuildRow {
  const char* name;
  std::string file_name;
  uint32_t size;
  int32_t result;
  std::string wire_name;  // what block 0 must carry when it fits
  const char* digits;
};

class BuildHeaderBlockRows : public ::testing::TestWithParam<BuildRow> {};

TEST_P(BuildHeaderBlockRows, NameZeroDigitsZeros) {
  const BuildRow& row = GetParam();
  Bytes block(128 + 8, 0xEE);  // a guard zone past the block
  EXPECT_EQ(XferSession::BuildHeaderBlock(block.data(), row.file_name.c_str(), row.size), row.result);
  EXPECT_EQ(Slice(block, 128, 8), Bytes(8, 0xEE)) << "wrote past the block";
  if (row.result == 0) {
    EXPECT_EQ(Slice(block, 0, 128), HeaderField(row.wire_name, row.digits));
  }
}

const std::string k121(121, 'x');

INSTANTIATE_TEST_SUITE_P(
    Rows, BuildHeaderBlockRows,
    ::testing::Values(
        BuildRow{"directories in lower case with slashes", "Dir\\Sub\\FILE.BIN", 1234, 0,
                 "dir/sub/file.bin", "1234"},
        BuildRow{"drive part is kept", "C:\\Images\\Boot.Bin", 7, 0, "c:/images/boot.bin", "7"},
        BuildRow{"an empty file has the single digit 0", "fw.bin", 0, 0, "fw.bin", "0"},
        BuildRow{"only A to Z change case", "@AZ[`az{\xC4\xE4/", 5, 0, "@az[`az{\xC4\xE4/", "5"},
        BuildRow{"largest size", "fw.bin", 4294967295u, 0, "fw.bin", "4294967295"},
        BuildRow{"121 characters and 4 digits fill 126 bytes", k121, 1234, 0, k121, "1234"},
        BuildRow{"121 characters and 5 digits do not fit", k121, 12345, -303, "", ""},
        BuildRow{"124 characters and size 0 fit", std::string(124, 'y'), 0, 0,
                 std::string(124, 'y'), "0"},
        BuildRow{"125 characters and size 0 do not", std::string(125, 'y'), 0, -303, "", ""},
        BuildRow{"126 characters never fit", std::string(126, 'y'), 0, -303, "", ""},
        BuildRow{"a long name is refused without overrunning", std::string(300, 'y'), 99, -303,
                 "", ""}),
    XferRowName<BuildRow>);

// Block 0 as the receiver reads it.
struct ParseRow {
  const char* name;
  Bytes held;
  int32_t result;
  std::string file_name;
  uint32_t size;
};

class ParseHeaderRows : public ::testing::TestWithParam<ParseRow> {};

TEST_P(ParseHeaderRows, NameAndSizeOrMalformed) {
  const ParseRow& row = GetParam();
  HeaderSink sink;
  ASSERT_EQ(sink.WriteData(row.held.data(), static_cast<uint32_t>(row.held.size())), 0);
  const char* name = nullptr;
  uint32_t size = 0xDEADBEEF;
  EXPECT_EQ(sink.ParseHeader(&name, &size), row.result);
  if (row.result == 0) {
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::string(name), row.file_name);
    EXPECT_EQ(size, row.size);
  }
}

Bytes Field(std::string_view name, std::string_view rest, size_t length = 128) {
  Bytes field(name.begin(), name.end());
  field.push_back(0);
  field.insert(field.end(), rest.begin(), rest.end());
  field.resize(length, 0);
  return field;
}

Bytes DigitsToTheEnd() {
  Bytes field = Field("f", "");
  for (size_t i = 2; i < field.size(); ++i) field[i] = '1';
  return field;  // 126 ones and no zero after them: far too large a size
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseHeaderRows,
    ::testing::Values(
        ParseRow{"name and size", Field("fw.bin", "1234"), 0, "fw.bin", 1234},
        ParseRow{"fields after a blank are ignored", Field("fw.bin", "12345 14561234567 100644"), 0,
                 "fw.bin", 12345},
        ParseRow{"no digits give size 0", Field("fw.bin", ""), 0, "fw.bin", 0},
        ParseRow{"a 1024-byte block 0", Field("big.img", "70000", 1024), 0, "big.img", 70000},
        ParseRow{"the closing block 0", Bytes(128, 0), 0, "", 0},
        ParseRow{"largest size", Field("a", "4294967295"), 0, "a", 4294967295u},
        ParseRow{"a letter in the size", Field("fw.bin", "12a4"), -403, "", 0},
        ParseRow{"a minus sign in the size", Field("fw.bin", "-1"), -403, "", 0},
        ParseRow{"no zero byte after the name", Bytes(128, 'a'), -403, "", 0},
        ParseRow{"nothing held", {}, -403, "", 0},
        ParseRow{"one past the largest size", Field("a", "4294967296"), -403, "", 0},
        ParseRow{"1000000000 * 10 wraps to a larger value", Field("a", "10000000000"), -403, "", 0},
        ParseRow{"500000000 * 10 wraps to a larger value", Field("a", "5000000000"), -403, "", 0},
        ParseRow{"digits up to the end of the held data", DigitsToTheEnd(), -403, "", 0},
        ParseRow{"size ending at the end of the held data", Bytes{'a', 0, '4', '2'}, 0, "a", 42}),
    XferRowName<ParseRow>);

}  // namespace
}  // namespace flashkit
