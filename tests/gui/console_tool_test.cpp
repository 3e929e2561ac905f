#include <gtest/gtest.h>

#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <string>
#include <vector>

#include "gui/console_tool.h"
#include "gui/console_window.h"
#include "tests/gui/console_test_folder.h"
#include "tests/gui/qt_test_app.h"
#include "tests/support/recorded_boxes.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

const std::string kLine = "linkxfer.exe \"fw.bin\" -sy -p3 -b115200";
const std::vector<std::string> kCreateFail = {"Process create fail!"};

class ConsoleToolTest : public ::testing::Test {
 protected:
  void SetUp() override { TestApp(); }
  void TearDown() override { EXPECT_TRUE(CloseConsoles()); }
  ConsoleTestFolder folder_;
  RecordedBoxes boxes_;
};

struct FailRow {
  const char* name;
  std::string tool;  // what stands as linkxfer.exe; empty: nothing
  bool raw;          // written as it is, without the /bin/sh line
  std::string line = kLine;
};

class ConsoleToolFailTest : public ConsoleToolTest, public ::testing::WithParamInterface<FailRow> {};

TEST_P(ConsoleToolFailTest, OneBoxAndNoWindow) {
  const FailRow& row = GetParam();
  if (!row.tool.empty()) folder_.WriteTool(row.tool, row.raw);
  EXPECT_FALSE(RunConsoleTool(row.line, folder_.Search(), boxes_));
  EXPECT_EQ(boxes_.texts, kCreateFail);
  EXPECT_TRUE(OpenConsoleWindows().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConsoleToolFailTest,
    ::testing::Values(FailRow{"no linkxfer anywhere", "", false},
                      FailRow{"an executable the system cannot run", std::string("\x7f" "ELF\x02\x01 broken", 12), true},
                      FailRow{"a script whose interpreter is missing", "#!/nonexistent/sh\necho hi\n", true},
                      FailRow{"an empty command line", "echo hi", false, ""},
                      FailRow{"a blank command line", "echo hi", false, " \t "}),
    XferRowName<FailRow>);

TEST_F(ConsoleToolTest, TwoLaunchesTwoWindowsTwoChildren) {
  folder_.WriteTool("echo started; exec sleep 30");
  ASSERT_TRUE(RunConsoleTool(kLine, folder_.Search(), boxes_));
  ASSERT_TRUE(RunConsoleTool(kLine, folder_.Search(), boxes_));
  EXPECT_TRUE(boxes_.texts.empty());
  QList<ConsoleWindow*> windows = OpenConsoleWindows();
  ASSERT_EQ(windows.size(), 2);
  EXPECT_TRUE(windows[0]->Running());
  EXPECT_TRUE(windows[1]->Running());
  EXPECT_NE(windows[0]->ChildId(), windows[1]->ChildId());
  for (ConsoleWindow* window : windows) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->Text().startsWith("started"); }, 5000));
  }
}

struct CloseRow {
  const char* name;
  std::string script;
  std::string last_line;  // how the child ended
};

class ConsoleCloseTest : public ConsoleToolTest, public ::testing::WithParamInterface<CloseRow> {};

// Closing a console ends its child, so no orphan keeps the port; the window
// goes once the child is gone.
TEST_P(ConsoleCloseTest, ClosingStopsTheChild) {
  folder_.WriteTool(GetParam().script);
  ASSERT_TRUE(RunConsoleTool(kLine, folder_.Search(), boxes_));
  QPointer<ConsoleWindow> window = OpenConsoleWindows().value(0);
  ASSERT_TRUE(window);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Text().startsWith("ready"); }, 5000));
  QString text;
  QObject::connect(window, &ConsoleWindow::Ended, [&] { text = window->Text(); });

  EXPECT_FALSE(window->close());
  EXPECT_TRUE(window->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, ConsoleWindow::kStopGraceMs + 3000));
  EXPECT_EQ(text.toStdString(), "ready\n" + GetParam().last_line);
  EXPECT_TRUE(OpenConsoleWindows().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConsoleCloseTest,
    ::testing::Values(CloseRow{"a child that stops when asked", "echo ready; exec sleep 30",
                               "[linkxfer.exe was killed by signal 15]"},
                      CloseRow{"a child that ignores the request is killed",
                               "trap '' TERM; echo ready; while :; do sleep 0.2; done",
                               "[linkxfer.exe was killed by signal 9]"}),
    XferRowName<CloseRow>);

TEST_F(ConsoleToolTest, ClosingAnEndedConsoleClosesAtOnce) {
  folder_.WriteTool("exit 0");
  ASSERT_TRUE(RunConsoleTool(kLine, folder_.Search(), boxes_));
  ConsoleWindow* window = OpenConsoleWindows().value(0);
  ASSERT_NE(window, nullptr);
  QSignalSpy ended(window, &ConsoleWindow::Ended);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() > 0; }, 5000));
  EXPECT_TRUE(window->close());
  EXPECT_TRUE(OpenConsoleWindows().isEmpty());
}

}  // namespace
}  // namespace flashkit::testing
