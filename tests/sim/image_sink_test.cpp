#include "sim/image_sink.h"

#include <gtest/gtest.h>

#include "ports/status.h"
#include "tests/sim/sim_test_support.h"

namespace flashkit::sim {
namespace {

using testing::Bytes;

struct NameCase {
  const char* name;
  std::string received;
  std::optional<std::string> stored_as;
};

class ReceivedName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ReceivedName, StoredUnderItsLastComponent) {
  EXPECT_EQ(StorableName(GetParam().received), GetParam().stored_as);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ReceivedName,
    ::testing::Values(NameCase{"Plain", "fw.bin", "fw.bin"},
                      // The host lower-cases and turns backslashes into slashes.
                      NameCase{"WindowsPath", "c:/work/fw.bin", "fw.bin"},
                      NameCase{"Relative", "out/zqt410_dg.bin", "zqt410_dg.bin"},
                      NameCase{"DotsInsideAName", "fw..v2.bin", "fw..v2.bin"},
                      NameCase{"Absolute", "/etc/passwd", std::nullopt},
                      NameCase{"ClimbsUp", "../fw.bin", std::nullopt},
                      NameCase{"ClimbsInTheMiddle", "a/../../fw.bin", std::nullopt},
                      NameCase{"EndsInDotDot", "a/..", std::nullopt},
                      NameCase{"NoFileName", "dir/", std::nullopt},
                      NameCase{"Dot", ".", std::nullopt},
                      NameCase{"Empty", "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct DataCase {
  const char* name;
  uint32_t declared;
  std::vector<uint32_t> blocks;  // data field sizes the engine hands over
  size_t kept;
};

class ImageSinkData : public ::testing::TestWithParam<DataCase> {};

TEST_P(ImageSinkData, CutToTheDeclaredSize) {
  const DataCase& c = GetParam();
  testing::CapturedEvents events;
  ImageSink sink(events.log());
  ASSERT_EQ(sink.BeginFile("fw.bin", c.declared), 0);
  Bytes expected;
  uint8_t next = 0;
  for (uint32_t size : c.blocks) {
    Bytes block(size);
    for (uint8_t& b : block) b = next++;
    expected.insert(expected.end(), block.begin(), block.end());
    ASSERT_GE(sink.WriteData(block.data(), size), 0);
  }
  EXPECT_FALSE(sink.complete());
  EXPECT_EQ(sink.WriteData(nullptr, 0), 0);
  EXPECT_TRUE(sink.complete());
  expected.resize(c.kept);
  EXPECT_EQ(sink.data(), expected);
  EXPECT_EQ(events.Lines(), std::vector<std::string>{
                                R"({"t_ms":0.000,"event":"header","name":"fw.bin","size":)" +
                                std::to_string(c.declared) + "}"});
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ImageSinkData,
    ::testing::Values(DataCase{"FullBlocks", 2048, {1024, 1024}, 2048},
                      DataCase{"FillCutOff", 1500, {1024, 1024}, 1500},
                      DataCase{"ShortTailInSmallBlocks", 1025, {1024, 128}, 1025},
                      DataCase{"EmptyFile", 0, {}, 0},
                      // Without a size nothing can be told from fill.
                      DataCase{"NoSizeKeepsAll", 0, {1024, 128}, 1152}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImageSink, RefusesNamesItMayNotStore) {
  testing::CapturedEvents events;
  ImageSink sink(events.log());
  EXPECT_EQ(sink.BeginFile("../../etc/passwd", 10), status::kSinkFailed);
  EXPECT_EQ(sink.WriteData(nullptr, 0), 0);
  EXPECT_FALSE(sink.complete());
  EXPECT_EQ(events.Lines().size(), 1u);  // the header is still reported
}

TEST(ImageSink, RefusesImagesLargerThanItHolds) {
  testing::CapturedEvents events;
  ImageSink sink(events.log());
  EXPECT_EQ(sink.BeginFile("huge.bin", 0xFFFFFFFFu), status::kSinkFailed);
}

}  // namespace
}  // namespace flashkit::sim
