#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <string>
#include <vector>

#include "gui/about_dialog.h"
#include "gui/dialog_builder.h"
#include "gui/dialog_units.h"
#include "tests/gui/dialog_rig.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

// What the window shows for a row: its Qt class and its caption.
struct ControlRow {
  const char* name;
  int32_t id;
  const char* qt_class;
  std::string caption;
};

std::string ShownCaption(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    return (button->text().isEmpty() ? button->accessibleName() : button->text()).toStdString();
  }
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title().toStdString();
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    return (label->movie() ? label->accessibleName() : label->text()).toStdString();
  }
  return widget->accessibleName().toStdString();
}

class DialogControlTest : public ::testing::TestWithParam<ControlRow> {};

TEST_P(DialogControlTest, MadeAsItsKindWithItsCaption) {
  DialogRig rig;
  const ControlRow& row = GetParam();
  QWidget* widget = rig.dialog->Control(row.id);
  ASSERT_NE(widget, nullptr);
  EXPECT_TRUE(widget->inherits(row.qt_class)) << widget->metaObject()->className();
  EXPECT_EQ(ShownCaption(widget), row.caption);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DialogControlTest,
    ::testing::Values(ControlRow{"Download button", 1000, "QPushButton", "download"},
                      ControlRow{"port list", 1002, "QComboBox", ""},
                      ControlRow{"baud list", 1003, "QComboBox", ""},
                      ControlRow{"condition list", 1004, "QComboBox", ""},
                      ControlRow{"None", 1006, "QRadioButton", "None"},
                      ControlRow{"Ymodem", 1007, "QRadioButton", "Ymodem"},
                      ControlRow{"Modem frame", 1008, "QGroupBox", "Modem"},
                      ControlRow{"Bin Select button", 1009, "QPushButton", "Bin Select"},
                      ControlRow{"information", 1010, "QLabel",
                                 "\n\n설정을 확인하세요.\n\n* Port : COM1\n* Baud : 115200\n* Modem : YModem"},
                      ControlRow{"fixed path", 1011, "QCheckBox", "경로고정"},
                      ControlRow{"progress", 1016, "QProgressBar", "Progress1"},
                      ControlRow{"SERIAL", 1022, "QRadioButton", "SERIAL"},
                      ControlRow{"USB", 1023, "QRadioButton", "USB"},
                      ControlRow{"connect state", 1025, "QLabel", "Animate1"},
                      ControlRow{"send state", 1026, "QLabel", "Animate2"},
                      ControlRow{"condition label", 1027, "QLabel", "CONDITION : "}),
    XferRowName<ControlRow>);

TEST(DialogTemplate, ControlsInTemplateOrderAreTheTabOrder) {
  DialogRig rig;
  const std::vector<int32_t> template_order = {1000, 1002, 1003, 1006, 1007, 1009, 1011,
                                               1022, 1023, 1025, 1026, 1004};
  const auto& controls = rig.dialog->Controls();
  ASSERT_EQ(controls.size(), 29u);
  EXPECT_EQ(controls.front().row->id, 1000);
  EXPECT_EQ(std::string(controls[13].row->caption), "DOWNLOAD");
  EXPECT_EQ(controls.back().row->id, 1027);

  // Walk the focus chain from the first control and keep ours.
  std::vector<int32_t> chain;
  QWidget* first = rig.dialog->Control(1000);
  QWidget* at = first;
  do {
    for (const BuiltControl& control : controls) {
      if (control.widget == at && at->focusPolicy() != Qt::NoFocus) chain.push_back(control.row->id);
    }
    at = at->nextInFocusChain();
  } while (at != first && chain.size() < 40);
  EXPECT_EQ(chain, template_order);

  const std::vector<int32_t> tab_stops = {1000, 1002, 1003, 1009, 1011, 1025, 1026, 1004};
  std::vector<int32_t> stops;
  for (const BuiltControl& control : controls) {
    if (control.widget->focusPolicy() & Qt::TabFocus) stops.push_back(control.row->id);
  }
  EXPECT_EQ(stops, tab_stops);
}

TEST(DialogTemplate, ListsComeWithTheirEntries) {
  DialogRig rig;
  auto entries = [&](int32_t id) {
    std::vector<std::string> texts;
    auto* list = static_cast<QComboBox*>(rig.dialog->Control(id));
    for (int i = 0; i < list->count(); ++i) texts.push_back(list->itemText(i).toStdString());
    return texts;
  };
  std::vector<std::string> ports;
  for (int n = 1; n <= 15; ++n) ports.push_back("COM" + std::to_string(n));
  EXPECT_EQ(entries(1002), ports);
  EXPECT_EQ(entries(1003), (std::vector<std::string>{"9600", "19200", "38400", "57600", "115200"}));
  EXPECT_EQ(entries(1004), (std::vector<std::string>{"RUN", "FINISH"}));
}

TEST(DialogTemplate, AboutEntryAndBoxes) {
  DialogRig rig;
  EXPECT_EQ(rig.dialog->windowTitle().toStdString(), "Downloader (Ver 4.5)");
  EXPECT_EQ(rig.dialog->AboutAction()->text().toStdString(), "flashpanel 정보(&A)...");
  EXPECT_EQ(rig.dialog->AboutAction()->data().toUInt(), 16u);
  // The template's client area sits whole below the menu.
  EXPECT_GT(rig.dialog->ClientArea()->y(), 0);
  EXPECT_EQ(rig.dialog->height(), rig.dialog->ClientArea()->y() + rig.dialog->ClientArea()->height());

  AboutDialog about;
  EXPECT_EQ(about.windowTitle().toStdString(), "flashpanel 정보");
  bool found_text = false;
  for (QLabel* each : about.findChildren<QLabel*>()) found_text |= each->text() == "flashpanel 버전 1.0";
  EXPECT_TRUE(found_text);
  auto* ok = about.findChild<QPushButton*>(QStringLiteral("control1"));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text().toStdString(), "확인");
  EXPECT_TRUE(ok->isDefault());
}

// Two screens: 96 dpi with a 9-point font, and a larger one.
struct UnitsRow {
  const char* name;
  BaseUnits base;
  int32_t id;
  QRect pixels;
};

class DialogUnitsTest : public ::testing::TestWithParam<UnitsRow> {};

TEST_P(DialogUnitsTest, ControlPlacedFromItsDialogUnits) {
  const UnitsRow& row = GetParam();
  const ControlTemplate* control = FindControl(DownloaderTemplate(), row.id);
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(DluToPixels(row.base, *control), row.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DialogUnitsTest,
    ::testing::Values(
        // 1010 at 12, 248, 240 x 73: x*6/4, y*12/8 (73*12/8 = 109.5 rounds up)
        UnitsRow{"information at 6 x 12", {6, 12}, 1010, QRect(18, 372, 360, 110)},
        UnitsRow{"information at 9 x 18", {9, 18}, 1010, QRect(27, 558, 540, 164)},
        // 1000 at 203, 48, 46 x 33: 203*6/4 = 304.5 rounds up
        UnitsRow{"Download at 6 x 12", {6, 12}, 1000, QRect(305, 72, 69, 50)},
        UnitsRow{"Download at 9 x 18", {9, 18}, 1000, QRect(457, 108, 104, 74)},
        UnitsRow{"send state at 7 x 15", {7, 15}, 1026, QRect(359, 381, 35, 38)}),
    XferRowName<UnitsRow>);

TEST(DialogUnits, ProportionsHoldAtAnyScale) {
  // The same dialog at two scales: every control keeps its place relative to
  // the client area, within a pixel of rounding.
  const BaseUnits small{6, 12}, large{12, 24};
  const QSize small_client = ClientSize(DownloaderTemplate(), small);
  const QSize large_client = ClientSize(DownloaderTemplate(), large);
  EXPECT_EQ(small_client, QSize(399, 503));
  EXPECT_EQ(large_client, QSize(798, 1005));
  for (const ControlTemplate& control : DownloaderTemplate().controls) {
    const QRect a = DluToPixels(small, control), b = DluToPixels(large, control);
    EXPECT_NEAR(b.x(), 2 * a.x(), 1) << control.caption;
    EXPECT_NEAR(b.bottom(), 2 * a.bottom(), 2) << control.caption;
    EXPECT_LE(a.right(), small_client.width());
    EXPECT_LE(a.bottom(), small_client.height());
  }
}

TEST(DialogUnits, BaseUnitsTheWindowsWay) {
  TestApp();
  const QFont font = DialogFont(DownloaderTemplate());
  const BaseUnits base = MeasureBaseUnits(font);
  const QFontMetrics metrics(font);
  const int sample = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  EXPECT_EQ(base.x, (sample / 26 + 1) / 2);
  EXPECT_EQ(base.y, metrics.height());
  EXPECT_EQ(font.pointSize(), 9);
  EXPECT_GT(base.x, 0);
}

struct MulDivRow {
  const char* name;
  int a, b, c, expected;
};

class MulDivTest : public ::testing::TestWithParam<MulDivRow> {};

TEST_P(MulDivTest, RoundsHalfAwayFromZero) {
  const MulDivRow& row = GetParam();
  EXPECT_EQ(MulDiv(row.a, row.b, row.c), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, MulDivTest,
                         ::testing::Values(MulDivRow{"exact", 8, 6, 4, 12},
                                           MulDivRow{"half rounds up", 1, 6, 4, 2},
                                           MulDivRow{"below half rounds down", 1, 5, 4, 1},
                                           MulDivRow{"negative half rounds away", -1, 6, 4, -2},
                                           MulDivRow{"no overflow in the product", 1 << 20, 1 << 12, 1 << 16, 1 << 16},
                                           MulDivRow{"divisor zero", 5, 5, 0, -1}),
                         XferRowName<MulDivRow>);

}  // namespace
}  // namespace flashkit::testing
