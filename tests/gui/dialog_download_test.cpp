#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/gui/dialog_rig.h"

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
  EXPECT_EQ(rig.InfoText(), path.string() + "\n\n다운로드가 종료 되었습니다..\n\n");
  for (int32_t id : {ctl::kPortList, ctl::kBaudList, ctl::kModemNone, ctl::kModemYmodem,
                     ctl::kBinSelect, ctl::kDownload}) {
    EXPECT_TRUE(rig.Enabled(id)) << id;
  }
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

}  // namespace
}  // namespace flashkit::testing
