#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <string>

#include "gui/console_tool.h"
#include "gui/console_window.h"
#include "tests/gui/console_test_folder.h"
#include "tests/gui/qt_test_app.h"
#include "tests/support/recorded_boxes.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

const std::string kLine = "linkxfer.exe \"fw.bin\" -sy -p3 -b115200";

std::string Ended(int status) { return "[linkxfer.exe ended with exit status " + std::to_string(status) + "]"; }

std::string Numbers(int from, int to) {
  std::string text;
  for (int i = from; i <= to; ++i) text += std::to_string(i) + "\n";
  return text;
}

struct OutputRow {
  const char* name;
  std::string script;  // the stand-in linkxfer.exe
  std::string text;    // the window's text once the child has ended
  std::string line = kLine;
};

class ConsoleOutputTest : public ::testing::TestWithParam<OutputRow> {
 protected:
  void SetUp() override { TestApp(); }
  void TearDown() override { EXPECT_TRUE(CloseConsoles()); }
  ConsoleTestFolder folder_;
};

TEST_P(ConsoleOutputTest, ShownAsTheChildWroteIt) {
  const OutputRow& row = GetParam();
  folder_.WriteTool(row.script);
  RecordedBoxes boxes;
  ASSERT_TRUE(RunConsoleTool(row.line, folder_.Search(), boxes));
  EXPECT_TRUE(boxes.texts.empty());
  QList<ConsoleWindow*> windows = OpenConsoleWindows();
  ASSERT_EQ(windows.size(), 1);
  ConsoleWindow* window = windows.front();
  EXPECT_EQ(window->windowTitle().toStdString(), row.line);
  QSignalSpy ended(window, &ConsoleWindow::Ended);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() > 0; }, 5000)) << window->Text().toStdString();
  EXPECT_EQ(window->Text().toStdString(), row.text);
  // The window outlives its child.
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->Running());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConsoleOutputTest,
    ::testing::Values(
        OutputRow{"progress rewritten in place, exit status 3",
                  "printf 'Sending 10%%\\rSending 50%%\\rSent OK\\n'; exit 3", "Sent OK\n" + Ended(3)},
        OutputRow{"the last progress line stays when a newline follows",
                  "printf 'Sending 100%%\\r'; printf '\\nSent OK\\n\\n'", "Sending 100%\nSent OK\n\n" + Ended(0)},
        OutputRow{"a carriage return then a newline ends the line", "printf 'one\\r\\ntwo\\r\\n'",
                  "one\ntwo\n" + Ended(0)},
        OutputRow{"an unfinished last line keeps its text", "printf 'Sending 40%%\\r'; exit 1",
                  "Sending 40%\n" + Ended(1)},
        OutputRow{"error output merged in order", "echo out; echo err >&2; echo out2", "out\nerr\nout2\n" + Ended(0)},
        OutputRow{"killed by a signal", "echo bye; kill -9 $$", "bye\n[linkxfer.exe was killed by signal 9]"},
        OutputRow{"a character split between two writes", "printf '\\352\\260'; sleep 0.3; printf '\\200\\n'",
                  "\xea\xb0\x80\n" + Ended(0)},
        OutputRow{"a broken byte becomes a replacement character", "printf 'a\\377b\\n'",
                  "a\xef\xbf\xbd" "b\n" + Ended(0)},
        OutputRow{"standard input is empty", "read x || echo 'no input'", "no input\n" + Ended(0)},
        OutputRow{"the words of the line, the file in the current folder", "printf '%s|' \"$@\"; echo; cat \"$1\"",
                  "fw.bin|-sy|-p12|-b115200|\nimage\n" + Ended(0), "linkxfer.exe \"fw.bin\" -sy -p12 -b115200"},
        OutputRow{"a name with blanks reaches the child whole", "printf '[%s]' \"$1\"; echo",
                  "[my fw v2.bin]\n" + Ended(0), "linkxfer.exe \"my fw v2.bin\" -sy -p3 -b115200"},
        OutputRow{"only the last lines are kept", "seq 1 12000",
                  Numbers(12000 - ConsoleWindow::kMaxLines + 2, 12000) + Ended(0)},
        OutputRow{"an endless line wraps", "head -c 10000 /dev/zero | tr '\\0' x; echo",
                  std::string(4096, 'x') + "\n" + std::string(4096, 'x') + "\n" + std::string(1808, 'x') + "\n" +
                      Ended(0)}),
    XferRowName<OutputRow>);

}  // namespace
}  // namespace flashkit::testing
