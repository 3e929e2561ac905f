#include <gtest/gtest.h>

#include <QTest>
#include <string>
#include <vector>

#include "tests/gui/console_test_folder.h"
#include "tests/gui/dialog_rig.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

TEST(DialogConsoleDownload, MissingToolReportedAndDialogUsableAgain) {
  DialogRig rig;
  const std::filesystem::path path = rig.Choose("fw 1.bin");
  rig.Pick(ctl::kPortList, 11);
  rig.Click(ctl::kDownload);
  DownloaderDialog& d = *rig.dialog;
  EXPECT_EQ(d.m_CommandLine, "linkxfer.exe \"fw 1.bin\" -sy -p12 -b115200");
  EXPECT_EQ(rig.boxes.texts, std::vector<std::string>{"Process create fail!"});
  EXPECT_EQ(rig.InfoText(), path.string() + "\n\nlinkxfer could not be started: nothing was sent.\n");
  for (int32_t id : {ctl::kPortList, ctl::kBaudList, ctl::kModemNone, ctl::kModemYmodem,
                     ctl::kBinSelect, ctl::kDownload}) {
    EXPECT_TRUE(rig.Enabled(id)) << id;
  }
}

// A stand-in linkxfer that runs until the test writes how it ends into
// "<file>.end" beside the file: an exit status, or "kill" for SIGKILL. Like
// linkxfer, SIGTERM (its console closed) ends it with 143.
constexpr char kTool[] =
    "trap 'exit 143' TERM\n"
    "while [ ! -e \"$1.end\" ]; do sleep 0.01; done\n"
    "end=$(cat \"$1.end\")\n"
    "[ \"$end\" = kill ] && kill -KILL $$\n"
    "exit \"$end\"";
constexpr char kRunning[] = "\n\n다운로드 중입니다..\n\nThe download is running in linkxfer's console window.\n";
constexpr char kEnded[] = "\n\n다운로드가 종료 되었습니다..\n\n";

void EndTool(const std::filesystem::path& file, const std::string& how) {
  std::ofstream(file.string() + ".end") << how;
}

struct EndRow {
  const char* name;
  const char* how;  // what the stand-in is told; empty: its console is closed
  std::string shown;  // the text after the path
};

class DialogConsoleEnd : public ::testing::TestWithParam<EndRow> {};

TEST_P(DialogConsoleEnd, TheTextSaysHowLinkxferEnded) {
  const EndRow& row = GetParam();
  DialogRig rig;
  rig.WriteTool(kTool);
  const std::filesystem::path path = rig.Choose("fw.bin");
  rig.Click(ctl::kDownload);
  ASSERT_TRUE(rig.boxes.texts.empty()) << rig.boxes.texts[0];
  EXPECT_EQ(rig.InfoText(), path.string() + kRunning);
  if (*row.how != '\0') {
    EndTool(path, row.how);
  } else {
    OpenConsoleWindows().front()->close();
  }
  QTRY_COMPARE_WITH_TIMEOUT(rig.InfoText(), path.string() + row.shown, 5000);
  EXPECT_TRUE(CloseConsoles());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DialogConsoleEnd,
    ::testing::Values(EndRow{"success", "0", kEnded},
                      EndRow{"no such port", "155",
                             "\n\nThe download failed: linkxfer ended with error -101 (exit status 155): no such port.\n"},
                      EndRow{"an exit status of no code", "3", "\n\nThe download failed: linkxfer ended with exit status 3.\n"},
                      EndRow{"killed", "kill", "\n\nThe download was stopped: linkxfer was killed by signal 9.\n"},
                      EndRow{"console closed", "", "\n\nThe download was stopped: linkxfer was ended (SIGTERM).\n"}),
    XferRowName<EndRow>);

TEST(DialogConsoleDownload, EachConsoleReportsItsOwnFileAsItEnds) {
  DialogRig rig;
  rig.WriteTool(kTool);
  const std::filesystem::path first = rig.Choose("first.bin");
  rig.Click(ctl::kDownload);
  const std::filesystem::path second = rig.Choose("second.bin");
  rig.Click(ctl::kDownload);
  ASSERT_EQ(OpenConsoleWindows().size(), 2);
  EXPECT_EQ(rig.InfoText(), second.string() + kRunning);
  EndTool(second, "154");
  QTRY_COMPARE_WITH_TIMEOUT(rig.InfoText(),
                            second.string() + "\n\nThe download failed: linkxfer ended with error -102 (exit status 154): "
                                              "the port is held by another program, or you may not open it.\n",
                            5000);
  EndTool(first, "0");
  QTRY_COMPARE_WITH_TIMEOUT(rig.InfoText(), first.string() + kEnded, 5000);
  EXPECT_TRUE(CloseConsoles());
}

TEST(DialogConsoleDownload, CommandLineRebuiltForEachDownload) {
  DialogRig rig;
  rig.Choose("fw.bin");
  rig.Click(ctl::kDownload);
  EXPECT_EQ(rig.dialog->m_CommandLine, "linkxfer.exe \"fw.bin\" -sy -p1 -b115200");
  rig.Pick(ctl::kBaudList, 2);
  rig.Pick(ctl::kPortList, 2);
  rig.Click(ctl::kDownload);
  EXPECT_EQ(rig.dialog->m_CommandLine, "linkxfer.exe \"fw.bin\" -sy -p3 -b38400");
  EXPECT_EQ(rig.boxes.texts.size(), 2u);
}

TEST(DialogUsbDownload, NoDeviceLeavesDotsAndStoppedAnimations) {
  DialogRig rig;
  const std::filesystem::path path = rig.Choose("fw.bin");
  rig.Click(ctl::kUsb);
  const uint64_t start = rig.system.time.NowMs();
  rig.Click(ctl::kDownload);
  EXPECT_EQ(rig.InfoText(), path.string() + "\n\n다운로드 중입니다..\n\n" + std::string(1000, '.'));
  EXPECT_GE(rig.system.time.NowMs() - start, 100000u);
  EXPECT_FALSE(rig.dialog->usb_download().SenderRunning());
  EXPECT_TRUE(rig.boxes.texts.empty());
}

TEST(DialogUsbDownload, NoSecondDownloadWhileTheSenderRuns) {
  DialogRig rig;
  const std::string device = "/ns/usb0";
  rig.system.interfaces = std::vector<std::string>{device};
  FakeDeviceState& from_device = rig.system.AddPipe(device + "\\PIPE00");
  FakeDeviceState& to_device = rig.system.AddPipe(device + "\\PIPE01");
  from_device.Arrive(Bytes{0x06});  // the answer to the size frame, and no more
  rig.Choose("fw.bin", std::string(100, 'x'));
  rig.Click(ctl::kUsb);
  rig.system.gate.Shut();
  rig.Click(ctl::kDownload);
  ASSERT_TRUE(rig.system.gate.WaitForHeld());
  ASSERT_TRUE(rig.dialog->usb_download().SenderRunning());

  const std::string info = rig.dialog->m_Info;
  const auto enabling = rig.Enabling();
  const size_t written = to_device.written.size();
  rig.Click(ctl::kDownload);
  ASSERT_EQ(rig.boxes.texts.size(), 1u);
  EXPECT_NE(rig.boxes.texts[0].find("still sending"), std::string::npos) << rig.boxes.texts[0];
  EXPECT_EQ(rig.dialog->m_Info, info);
  EXPECT_EQ(rig.Enabling(), enabling);
  EXPECT_EQ(to_device.written.size(), written);

  // The silent device ends the first download; then Download works again.
  rig.system.gate.Open();
  QTRY_VERIFY_WITH_TIMEOUT(!rig.dialog->usb_download().SenderRunning(), 5000);
}

}  // namespace
}  // namespace flashkit::testing
