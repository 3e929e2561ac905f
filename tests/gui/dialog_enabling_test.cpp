#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "tests/gui/dialog_rig.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

// The watched controls' enabled states, in DialogRig::kWatched order:
// Download, port, baud, condition, None, Ymodem, Bin Select, fixed path,
// SERIAL, USB.
using States = std::map<int32_t, bool>;
States Row(bool download, bool port, bool baud, bool condition, bool none, bool ymodem,
           bool bin_select, bool fixed_path) {
  return {{ctl::kDownload, download},   {ctl::kPortList, port},     {ctl::kBaudList, baud},
          {ctl::kConditionList, condition}, {ctl::kModemNone, none}, {ctl::kModemYmodem, ymodem},
          {ctl::kBinSelect, bin_select}, {ctl::kFixedPath, fixed_path}, {ctl::kSerial, true},
          {ctl::kUsb, true}};
}

struct MomentRow {
  const char* name;
  std::function<void(DialogRig&)> steps;
  States after;
};

class DialogEnablingTest : public ::testing::TestWithParam<MomentRow> {};

TEST_P(DialogEnablingTest, ControlsEnabledAfterTheMoment) {
  DialogRig rig;
  GetParam().steps(rig);
  EXPECT_EQ(rig.Enabling(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DialogEnablingTest,
    ::testing::Values(
        MomentRow{"after start", [](DialogRig&) {},
                  Row(false, true, true, true, true, true, true, false)},
        MomentRow{"file chosen", [](DialogRig& r) { r.Choose("fw.bin"); },
                  Row(true, true, true, true, true, true, true, true)},
        MomentRow{"USB chosen", [](DialogRig& r) { r.Click(ctl::kUsb); },
                  Row(false, false, false, true, false, false, true, false)},
        MomentRow{"USB, then SERIAL",
                  [](DialogRig& r) {
                    r.Click(ctl::kUsb);
                    r.Click(ctl::kSerial);
                  },
                  Row(false, true, true, true, true, true, true, false)},
        MomentRow{"USB with None then Ymodem leaves Download as it was",
                  [](DialogRig& r) {
                    r.Choose("fw.bin");
                    r.Click(ctl::kUsb);
                    r.dialog->OnModem(ctl::kModemNone);
                    r.dialog->OnModem(ctl::kModemYmodem);
                  },
                  Row(true, false, false, true, false, false, true, true)},
        MomentRow{"serial bootloader download returned",
                  [](DialogRig& r) {
                    r.Choose("fw.bin");
                    r.Click(ctl::kModemNone);
                    r.Click(ctl::kDownload);
                  },
                  Row(true, true, true, true, true, true, true, true)},
        MomentRow{"USB download started, no device",
                  [](DialogRig& r) {
                    r.Choose("fw.bin");
                    r.Click(ctl::kUsb);
                    r.Click(ctl::kDownload);
                  },
                  Row(true, false, false, true, false, false, true, true)},
        MomentRow{"serial download returned with the path fixed",
                  [](DialogRig& r) {
                    r.Choose("fw.bin");
                    r.dialog->OnFixedPath();
                    r.Click(ctl::kModemNone);
                    r.Click(ctl::kDownload);
                  },
                  Row(true, true, true, true, true, true, false, true)}),
    XferRowName<MomentRow>);

TEST(DialogEnabling, DuringABootloaderDownload) {
  DialogRig rig;
  rig.Choose("fw.bin");
  rig.Click(ctl::kModemNone);
  // The silent device makes the bootloader give up with a box while the
  // download still holds the dialog.
  States during;
  std::string info_during;
  rig.boxes.on_show = [&] {
    during = rig.Enabling();
    info_during = rig.InfoText();
  };
  rig.Click(ctl::kDownload);
  ASSERT_EQ(rig.boxes.texts, std::vector<std::string>{"Fail"});
  EXPECT_EQ(during, Row(true, false, false, true, false, false, false, true));
  EXPECT_EQ(info_during, rig.dialog->m_FilePath + "\n\n다운로드 중입니다..\n\n");
  EXPECT_EQ(rig.InfoText(), rig.dialog->m_FilePath +
                                "\n\n다운로드가 종료 되었습니다..\n\nThe port COM1 could not be "
                                "opened: no such device.\n");
}

}  // namespace
}  // namespace flashkit::testing
