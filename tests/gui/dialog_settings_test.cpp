#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <functional>
#include <string>

#include "tests/gui/dialog_rig.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

constexpr char kStartText[] =
    "\n\n설정을 확인하세요.\n\n* Port : COM1\n* Baud : 115200\n* Modem : YModem";

TEST(DialogStart, SettingsAsTheDialogOpens) {
  DialogRig rig;
  DownloaderDialog& d = *rig.dialog;
  EXPECT_EQ(rig.InfoText(), kStartText);
  EXPECT_EQ(d.m_Info, kStartText);
  // The baud list shows entry 3 while the settings say 115200.
  EXPECT_EQ(d.m_BaudList->currentText().toStdString(), "57600");
  EXPECT_EQ(d.m_PortList->currentText().toStdString(), "COM1");
  EXPECT_EQ(d.m_ConditionList->currentText().toStdString(), "RUN");
  EXPECT_TRUE(static_cast<QRadioButton*>(d.Control(ctl::kModemYmodem))->isChecked());
  EXPECT_TRUE(static_cast<QRadioButton*>(d.Control(ctl::kSerial))->isChecked());
  EXPECT_FALSE(static_cast<QRadioButton*>(d.Control(ctl::kModemNone))->isChecked());
  EXPECT_FALSE(static_cast<QRadioButton*>(d.Control(ctl::kUsb))->isChecked());
  EXPECT_FALSE(rig.Enabled(ctl::kDownload));
  EXPECT_FALSE(rig.Enabled(ctl::kFixedPath));
  EXPECT_TRUE(d.Control(ctl::kFixedPath)->isHidden());
  EXPECT_EQ(d.m_PortText, "1");
  EXPECT_EQ(d.m_BaudText, "115200");
  EXPECT_EQ(d.m_Condition, "RUN");
  EXPECT_EQ(d.m_ModemSwitch, "-sy");
  EXPECT_EQ(d.m_UsbMode, 0);
  EXPECT_EQ(d.m_PathSelectable, 1);
}

// A user's steps and the settings they leave.
struct StepRow {
  const char* name;
  std::function<void(DialogRig&)> steps;
  std::string port, baud, condition, modem_switch, modem_name;
  std::string info;  // after the path and "\n\n"
};

class DialogStepTest : public ::testing::TestWithParam<StepRow> {};

TEST_P(DialogStepTest, SettingsAndText) {
  DialogRig rig;
  const StepRow& row = GetParam();
  row.steps(rig);
  const DownloaderDialog& d = *rig.dialog;
  EXPECT_EQ(d.m_PortText, row.port);
  EXPECT_EQ(d.m_BaudText, row.baud);
  EXPECT_EQ(d.m_Condition, row.condition);
  EXPECT_EQ(d.m_ModemSwitch, row.modem_switch);
  EXPECT_EQ(d.m_ModemName, row.modem_name);
  EXPECT_EQ(rig.InfoText(), "\n\n" + row.info);
}

std::string Serial(const std::string& port, const std::string& baud, const std::string& modem) {
  return "설정을 확인하세요.\n\n* Port : COM" + port + "\n* Baud : " + baud + "\n* Modem : " + modem;
}

// Types into a list's field, then clicks elsewhere, which ends the editing.
void TypeInto(DialogRig& rig, int32_t list_id, const char* text) {
  auto* list = static_cast<QComboBox*>(rig.dialog->Control(list_id));
  list->lineEdit()->clear();
  QTest::keyClicks(list->lineEdit(), QString::fromUtf8(text));
  emit list->lineEdit()->editingFinished();
  // The field shows the entry in use, not what was typed.
  EXPECT_EQ(list->lineEdit()->text(), list->itemText(list->currentIndex()));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DialogStepTest,
    ::testing::Values(
        StepRow{"COM12 picked", [](DialogRig& r) { r.Pick(ctl::kPortList, 11); },
                "12", "115200", "RUN", "-sy", "YModem", Serial("12", "115200", "YModem")},
        StepRow{"baud 9600 picked", [](DialogRig& r) { r.Pick(ctl::kBaudList, 0); },
                "1", "9600", "RUN", "-sy", "YModem", Serial("1", "9600", "YModem")},
        StepRow{"57600 picked as shown", [](DialogRig& r) { r.Pick(ctl::kBaudList, 3); },
                "1", "57600", "RUN", "-sy", "YModem", Serial("1", "57600", "YModem")},
        StepRow{"FINISH picked", [](DialogRig& r) { r.Pick(ctl::kConditionList, 1); },
                "1", "115200", "FINISH", "-sy", "YModem", Serial("1", "115200", "YModem")},
        StepRow{"None", [](DialogRig& r) { r.Click(ctl::kModemNone); },
                "1", "115200", "RUN", "-s0", "Serial", Serial("1", "115200", "Serial")},
        StepRow{"None then Ymodem",
                [](DialogRig& r) {
                  r.Click(ctl::kModemNone);
                  r.Click(ctl::kModemYmodem);
                },
                "1", "115200", "RUN", "-sy", "YModem", Serial("1", "115200", "YModem")},
        StepRow{"USB", [](DialogRig& r) { r.Click(ctl::kUsb); },
                "1", "115200", "RUN", "-sy", "YModem", "설정을 확인하세요.\n\nUSB "},
        StepRow{"USB then SERIAL",
                [](DialogRig& r) {
                  r.Click(ctl::kUsb);
                  r.Click(ctl::kSerial);
                },
                "1", "115200", "RUN", "-sy", "YModem", Serial("1", "115200", "YModem")},
        StepRow{"port typed, not picked", [](DialogRig& r) { TypeInto(r, ctl::kPortList, "COM7"); },
                "1", "115200", "RUN", "-sy", "YModem", Serial("1", "115200", "YModem")},
        StepRow{"port typed in another case", [](DialogRig& r) { TypeInto(r, ctl::kPortList, "com9"); },
                "1", "115200", "RUN", "-sy", "YModem", Serial("1", "115200", "YModem")},
        StepRow{"condition typed, not picked",
                [](DialogRig& r) { TypeInto(r, ctl::kConditionList, "FINISH"); },
                "1", "115200", "RUN", "-sy", "YModem", Serial("1", "115200", "YModem")},
        StepRow{"baud typed, not picked", [](DialogRig& r) { TypeInto(r, ctl::kBaudList, "250000"); },
                "1", "115200", "RUN", "-sy", "YModem", Serial("1", "115200", "YModem")}),
    XferRowName<StepRow>);

TEST(DialogTyping, EnterInAListEndsTheDialogWithoutPicking) {
  DialogRig rig;
  auto* list = static_cast<QComboBox*>(rig.dialog->Control(ctl::kPortList));
  QTest::keyClicks(list->lineEdit(), QStringLiteral("COM5"));
  QTest::keyClick(list->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(rig.dialog->m_PortText, "1");
  EXPECT_EQ(list->count(), 15);
  EXPECT_EQ(rig.dialog->result(), QDialog::Accepted);
}

TEST(DialogFile, ChosenFileBecomesTheDownloadsFile) {
  DialogRig rig;
  rig.Pick(ctl::kPortList, 2);
  const std::string before = rig.InfoText();
  const std::filesystem::path path = rig.Choose("fw 1.bin");
  DownloaderDialog& d = *rig.dialog;
  EXPECT_EQ(d.m_FileName, "fw 1.bin");
  EXPECT_EQ(d.m_FilePath, path.string());
  // The downloads open the file by its bare name.
  EXPECT_EQ(std::filesystem::current_path(), rig.dir / "images");
  EXPECT_TRUE(std::filesystem::exists(d.m_FileName));
  // Not recomposed: the path shows with the next settings change.
  EXPECT_EQ(rig.InfoText(), before);
  rig.Pick(ctl::kBaudList, 4);
  EXPECT_EQ(rig.InfoText(), path.string() + "\n\n" + Serial("3", "115200", "YModem"));
}

TEST(DialogFile, CancelledChoiceChangesNothing) {
  DialogRig rig;
  rig.chosen.clear();
  rig.dialog->OnBinSelect();
  EXPECT_EQ(rig.dialog->m_FileName, "");
  EXPECT_FALSE(rig.Enabled(ctl::kDownload));
  EXPECT_EQ(std::filesystem::current_path(), rig.dir);
}

TEST(DialogFile, DownloadCannotBePressedBeforeAFileIsChosen) {
  DialogRig rig;
  QTest::mouseClick(rig.dialog->Control(ctl::kDownload), Qt::LeftButton);
  EXPECT_EQ(rig.dialog->m_Info, kStartText);
  EXPECT_TRUE(rig.boxes.texts.empty());
  EXPECT_TRUE(rig.Enabled(ctl::kPortList));
}

}  // namespace
}  // namespace flashkit::testing
