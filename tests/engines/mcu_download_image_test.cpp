#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engines/firmware_image.h"
#include "tests/engines/download_rig.h"

namespace flashkit::testing {
namespace {

using Answer = BootDevice::Answer;
using Fault = BootDevice::Fault;
constexpr int kWrite = 0x31;
constexpr int kAlways = 1000;

Progress Concat(std::initializer_list<Progress> parts) {
  Progress all;
  for (const Progress& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The companion of every row is one block: range 2, position 1, end 2.
const Progress kCompanionBlock = {{2, 1}, {1, 0}, {2, 2}};
const Progress kRefusedAttempt = {{3, 1}, {1, 0}, {2, 2}};

struct ProgressRow {
  const char* name;
  size_t size;
  std::vector<Fault> faults;
  Progress sent;
};

class ProgressMessages : public ::testing::TestWithParam<ProgressRow> {};

TEST_P(ProgressMessages, ReachTheOwnerInOrder) {
  DownloadRig rig;
  BootDevice device(GetParam().faults);
  device.Attach(*rig.port);
  rig.WriteFile("fw.bin", Pattern(GetParam().size));
  rig.WriteFile("WDN-500S.bin", Pattern(256));
  rig.Download("fw.bin");
  EXPECT_EQ(rig.progress.sent, GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ProgressMessages,
    ::testing::Values(
        ProgressRow{"Bytes1000", 1000, {},
                    Concat({{{4, 1}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 2}}, kCompanionBlock})},
        ProgressRow{"Bytes1024", 1024, {},
                    Concat({{{5, 1}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 2}}, kCompanionBlock})},
        ProgressRow{"Empty", 0, {}, Concat({{{1, 1}, {1, 2}}, kCompanionBlock})},
        // A block that fails its ten tries still moves the bar, and ends the
        // attempt; every later attempt fails on its first block.
        ProgressRow{"RefusedBlocksCountToo", 512, {{kWrite, 2, kAlways, Answer::kNack}},
                    Concat({{{3, 1}, {1, 0}, {2, 0}, {3, 2}}, kRefusedAttempt, kRefusedAttempt,
                            kRefusedAttempt, kRefusedAttempt})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProgressMessages, NoOwnerWindowNoMessagesSameDownload) {
  DownloadRig rig(/*with_owner=*/false);
  BootDevice device;
  device.Attach(*rig.port);
  rig.WriteFile("fw.bin", Pattern(300));
  rig.WriteFile("WDN-500S.bin", Pattern(100));
  EXPECT_EQ(rig.Download("fw.bin"), 1);
  EXPECT_TRUE(rig.progress.sent.empty());
  EXPECT_EQ(device.FlashAt(0x08008000, 100), Pattern(100));
}

// Blocks of 256 bytes; what lies past the file's end goes out as 0xFF.
class BlockFill : public ::testing::TestWithParam<size_t> {};

TEST_P(BlockFill, PadsTheLastBlockWithFF) {
  const size_t size = GetParam();
  const size_t blocks = (size + 255) / 256;
  DownloadRig rig;
  BootDevice device;
  device.Attach(*rig.port);
  rig.WriteFile("fw.bin", Pattern(size, 7));
  rig.Download("fw.bin");  // no companion: the chosen image stays in flash

  Frame sent;
  for (const Frame& frame : rig.port->writes) {
    if (frame.size() == 258) sent.insert(sent.end(), frame.begin() + 1, frame.end() - 1);
  }
  Frame expected = Pattern(size, 7);
  expected.resize(blocks * 256, 0xFF);
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(device.FlashAt(0x08008000, blocks * 256), expected);
  EXPECT_EQ(device.flash.size(), blocks * 256);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockFill, ::testing::Values(300, 1, 256, 257, 511));

struct LineRow {
  const char* name;
  std::string port_text;
  std::string baud_text;
  int32_t open_result;
  FakeRingPort::LineSettings settings;
};

class LineSettings : public ::testing::TestWithParam<LineRow> {};

TEST_P(LineSettings, FromTheDialogTexts) {
  DownloadRig rig;
  BootDevice device;
  device.Attach(*rig.port);
  rig.port->open_result = GetParam().open_result;
  rig.WriteFile("fw.bin", Pattern(10));
  rig.Download("fw.bin", GetParam().port_text, GetParam().baud_text);
  EXPECT_EQ(rig.port->settings, std::vector<FakeRingPort::LineSettings>{GetParam().settings});
  // Whether the line opened is not looked at: the download goes ahead.
  EXPECT_EQ(device.commands.front(), "get id");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LineSettings,
    ::testing::Values(LineRow{"Com3At115200", "3", "115200", 1, {2, 115200, 8, 0, 2}},
                      LineRow{"Com3At57600OpensAt38400", "3", "57600", 1, {2, 38400, 8, 0, 2}},
                      LineRow{"Com12At9600", "12", "9600", 1, {11, 38400, 8, 0, 2}},
                      LineRow{"PortThatDidNotOpen", "1", "115200", 0, {0, 115200, 8, 0, 2}}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string kMarkerDump = "SND >>         55 AA 55 AA \n";
const std::string kFirstDumpLine =
    "SND >>         00 01 02 03 04 05 06 07    08 09 0A 0B 0C 0D 0E 0F    \n";

TEST(TraceLines, EachAttemptAndEachDataFrameInTheLog) {
  DownloadRig rig;
  BootDevice device;
  device.Attach(*rig.port);
  rig.WriteFile("iap_cortex.bin", Pattern(17));
  rig.WriteFile("WDN-500S.bin", Pattern(17));
  ASSERT_EQ(rig.Download("iap_cortex.bin"), 1);

  const std::string log = rig.LogFile();
  const std::string second_line =
      std::string(15, ' ') + "10 FF FF FF FF FF FF FF    FF FF FF FF FF FF FF FF    \n";
  EXPECT_EQ(log.substr(0, kMarkerDump.size() + 23 + kFirstDumpLine.size() + second_line.size()),
            kMarkerDump + "\n>> iap_cortex.bin 17\n\n" + kFirstDumpLine + second_line);
  const size_t companion = log.find("\n>> WDN-500S.bin 17\n\n");
  ASSERT_NE(companion, std::string::npos);
  EXPECT_EQ(log.find(kFirstDumpLine, companion), companion + 21);
  size_t dumps = 0;
  for (size_t at = log.find("SND >>"); at != std::string::npos; at = log.find("SND >>", at + 1)) {
    ++dumps;
  }
  EXPECT_EQ(dumps, 3u);  // the marker and one block of each image
  EXPECT_EQ(rig.boot->log().Last(), "\n");
}

TEST(TraceLines, MissingCompanionIsTheLastLine) {
  DownloadRig rig;
  BootDevice device;
  device.Attach(*rig.port);
  rig.WriteFile("fw.bin", Pattern(17));
  EXPECT_EQ(rig.Download("fw.bin"), 0);
  EXPECT_EQ(rig.boot->log().Last(), "fopen fail\n");
  const std::string log = rig.LogFile();
  EXPECT_EQ(log.substr(log.size() - 12), "\nfopen fail\n");
}

// Images that cannot be taken in whole are never put on the wire.
struct FileRow {
  const char* name;
  std::function<void(DownloadRig&)> prepare;
  std::vector<std::string> commands;
  int32_t result;
  std::vector<std::string> boxes;
};

class ImageFiles : public ::testing::TestWithParam<FileRow> {};

TEST_P(ImageFiles, RefusedBeforeTheWire) {
  DownloadRig rig;
  BootDevice device;
  device.Attach(*rig.port);
  GetParam().prepare(rig);
  EXPECT_EQ(rig.Download("fw.bin"), GetParam().result);
  EXPECT_EQ(device.commands, GetParam().commands);
  EXPECT_EQ(rig.boxes.texts, GetParam().boxes);
  EXPECT_EQ(rig.port->calls.back(), "Close");
}

// Sparse: 2 GiB of nothing on disk.
void WriteHuge(DownloadRig& rig, const std::string& name) {
  rig.WriteFile(name, {});
  std::filesystem::resize_file(rig.dir / name, uint64_t{1} << 31);
}

const std::vector<std::string> kImageWritten = {"get id", "write 08008000 +256", "go 08000000"};

INSTANTIATE_TEST_SUITE_P(
    Files, ImageFiles,
    ::testing::Values(
        FileRow{"FolderAsImage",
                [](DownloadRig& rig) { std::filesystem::create_directory(rig.dir / "fw.bin"); },
                {}, 0, {}},
        FileRow{"ImageTooLargeToCount", [](DownloadRig& rig) { WriteHuge(rig, "fw.bin"); }, {}, 0,
                {"Fail"}},
        FileRow{"CompanionTooLargeToCount",
                [](DownloadRig& rig) {
                  rig.WriteFile("fw.bin", Pattern(10));
                  WriteHuge(rig, "WDN-500S.bin");
                },
                kImageWritten, 0, {"Fail"}},
        FileRow{"FolderSkippedInTheCompanionSearch",
                [](DownloadRig& rig) {
                  rig.WriteFile("fw.bin", Pattern(10));
                  std::filesystem::create_directory(rig.dir / "WDN-500S.bin");
                  rig.WriteFile("ZQT410_TAXI.bin", Pattern(10));
                },
                {"get id", "write 08008000 +256", "go 08000000", "get id", "write 08008000 +256",
                 "go 08000000"},
                1, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct FitRow {
  uint32_t address;
  uint64_t size;
  bool fits;
};

class ImageLimit : public ::testing::TestWithParam<FitRow> {};

TEST_P(ImageLimit, WholeBlocksInsideTheAddressSpace) {
  EXPECT_EQ(ImageFitsAbove(GetParam().address, GetParam().size, 256), GetParam().fits);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, ImageLimit,
    ::testing::Values(FitRow{0x08008000, 0x7FFFFFFF, true},  // the largest signed 32-bit size
                      FitRow{0x08008000, 0x80000000, false},
                      FitRow{0xFFFFFF00, 256, true}, FitRow{0xFFFFFF00, 255, true},
                      FitRow{0xFFFFFF00, 257, false},  // its padded block would wrap
                      FitRow{0xFFFFFFFF, 1, false}, FitRow{0xFFFFFFFF, 0, true}));

}  // namespace
}  // namespace flashkit::testing
