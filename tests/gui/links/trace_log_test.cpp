#include "gui/links/trace_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gui/links/trace.h"
#include "platform/debug_output.h"
#include "tests/support/recorded_boxes.h"

namespace flashkit {
namespace {

namespace fs = std::filesystem;

// A log file in a folder of its own.
struct LogRig {
  LogRig() : folder(fs::temp_directory_path() / ("flashkit-log-" + std::to_string(::getpid()) + "-" +
                                                  std::to_string(counter++))) {
    fs::create_directories(folder);
  }
  ~LogRig() { fs::remove_all(folder); }
  std::string File() const {
    std::ifstream in(folder / "log.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static inline int counter = 0;
  fs::path folder;
  testing::RecordedBoxes boxes;
};

std::vector<uint8_t> Counting(int n) {
  std::vector<uint8_t> bytes(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  return bytes;
}

struct DumpRow {
  const char* name;
  std::string label;
  int length;
  std::string text;
};

class HexDump : public ::testing::TestWithParam<DumpRow> {};

TEST_P(HexDump, LaysOutTheBytesInTheFile) {
  LogRig rig;
  {
    TraceLog log(rig.boxes, (rig.folder / "log.txt").string());
    const auto bytes = Counting(GetParam().length);
    log.HexDump(GetParam().label.c_str(), bytes.data(), GetParam().length);
    EXPECT_EQ(log.Last(), "\n");
  }
  EXPECT_EQ(rig.File(), GetParam().text);
  EXPECT_TRUE(rig.boxes.texts.empty());
}

const std::string kIndent(15, ' ');

INSTANTIATE_TEST_SUITE_P(
    Lengths, HexDump,
    ::testing::Values(
        DumpRow{"Empty", "SND >>", 0, "SND >>         \n"},
        DumpRow{"Eight", "SND >>", 8, "SND >>         00 01 02 03 04 05 06 07    \n"},
        DumpRow{"Sixteen", "SND >>", 16,
                "SND >>         00 01 02 03 04 05 06 07    08 09 0A 0B 0C 0D 0E 0F    \n"},
        DumpRow{"Seventeen", "SND >>", 17,
                "SND >>         00 01 02 03 04 05 06 07    08 09 0A 0B 0C 0D 0E 0F    \n" +
                    kIndent + "10 \n"},
        DumpRow{"LabelOfFifteen", "fifteen-chars!!", 2, "fifteen-chars!!00 01 \n"},
        DumpRow{"LongerLabelNotCut", "a label of twenty", 1, "a label of twenty00 \n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TraceLog, EachMessageReplacesTheLastAndIsAppendedToTheFile) {
  LogRig rig;
  std::ofstream(rig.folder / "log.txt") << "earlier run\n";
  {
    TraceLog log(rig.boxes, (rig.folder / "log.txt").string());
    EXPECT_EQ(log.Format("\n>> %s %d\n\n", "fw.bin", 1000), 17);
    log.Format("fopen fail\n");
    EXPECT_EQ(log.Last(), "fopen fail\n");
  }
  EXPECT_EQ(rig.File(), "earlier run\n\n>> fw.bin 1000\n\nfopen fail\n");
}

TEST(TraceLog, UnwritableFolderShowsTheBoxOnceAndGoesOn) {
  LogRig rig;
  TraceLog log(rig.boxes, (rig.folder / "missing" / "log.txt").string());
  EXPECT_EQ(rig.boxes.texts, std::vector<std::string>{"fopen fail"});
  EXPECT_EQ(log.Format("x%d", 1), 2);
  EXPECT_EQ(log.Last(), "x1");
}

TEST(Trace, OneTextPerCallToTheDebugOutput) {
  std::vector<std::string> lines;
  platform::DebugSink previous =
      platform::SetDebugSink([&](std::string_view text) { lines.emplace_back(text); });
  Trace("Attempting to open %s\n", "/ns/usb/{GUID}/board");
  Trace("READ_ERROR[%d]", 31);
  platform::SetDebugSink(previous);
  EXPECT_EQ(lines, (std::vector<std::string>{"Attempting to open /ns/usb/{GUID}/board\n",
                                             "READ_ERROR[31]"}));
}

}  // namespace
}  // namespace flashkit
