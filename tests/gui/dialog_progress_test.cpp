#include <gtest/gtest.h>

#include <QLabel>
#include <QMovie>
#include <QProgressBar>
#include <QTest>
#include <QThread>
#include <atomic>
#include <string>
#include <thread>

#include "engines/download_progress.h"
#include "tests/gui/dialog_rig.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

bool Playing(DownloaderDialog& d, int32_t id) {
  return static_cast<QLabel*>(d.Control(id))->movie()->state() == QMovie::Running;
}

// The dialog before the message: a range of 0..100 at 40, the connect
// animation playing (as a USB download leaves it), the send animation not.
struct ProgressRow {
  const char* name;
  uint32_t wparam;
  int32_t lparam;
  int maximum, value;
  bool connect_playing, send_playing;
};

class DialogProgressTest : public ::testing::TestWithParam<ProgressRow> {};

TEST_P(DialogProgressTest, MessageDrivesBarAndAnimations) {
  DialogRig rig;
  DownloaderDialog& d = *rig.dialog;
  d.m_Progress->setValue(40);
  d.PlayAnimation(ctl::kConnectAnimation);
  d.m_Info = "pushed with the message";

  const ProgressRow& row = GetParam();
  d.SendProgress(row.wparam, row.lparam);
  EXPECT_EQ(d.m_Progress->minimum(), 0);
  EXPECT_EQ(d.m_Progress->maximum(), row.maximum);
  EXPECT_EQ(d.m_Progress->value(), row.value);
  EXPECT_EQ(Playing(d, ctl::kConnectAnimation), row.connect_playing);
  EXPECT_EQ(Playing(d, ctl::kSendAnimation), row.send_playing);
  EXPECT_EQ(rig.InfoText(), "pushed with the message");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DialogProgressTest,
    ::testing::Values(ProgressRow{"start: range and send animation", 250, kProgressStart, 250, 40, true, true},
                      ProgressRow{"start beyond 16 bits covers the whole range", 70000, kProgressStart, 70000, 40, true, true},
                      ProgressRow{"start for the largest image", 3125000, kProgressStart, 3125000, 40, true, true},
                      ProgressRow{"position", 77, kProgressPosition, 100, 77, true, false},
                      ProgressRow{"position past the end shows full", 1500000, kProgressPosition, 100, 100, true, false},
                      ProgressRow{"end stops both animations", 90, kProgressEnd, 100, 90, false, false},
                      ProgressRow{"unknown phase changes nothing", 7, 7, 100, 40, true, false}),
    XferRowName<ProgressRow>);

TEST(DialogProgress, StartThenEndAroundABlockCount) {
  DialogRig rig;
  DownloaderDialog& d = *rig.dialog;
  d.SendProgress(3, kProgressStart);
  for (uint32_t block = 1; block <= 3; ++block) d.SendProgress(block, kProgressPosition);
  EXPECT_EQ(d.m_Progress->value(), 3);
  EXPECT_TRUE(Playing(d, ctl::kSendAnimation));
  d.SendProgress(3, kProgressEnd);
  EXPECT_FALSE(Playing(d, ctl::kSendAnimation));
  EXPECT_EQ(d.m_Progress->value(), 3);
}

TEST(DialogProgress, FromAnotherThreadHandledOnTheDialogsThread) {
  DialogRig rig;
  DownloaderDialog& d = *rig.dialog;
  std::atomic<bool> posted{false};
  std::thread worker([&] {
    d.SendProgress(500, kProgressStart);
    d.SendProgress(321, kProgressPosition);
    posted = true;
  });
  worker.join();
  ASSERT_TRUE(posted);
  // Nothing changes until the dialog's thread runs its queue.
  EXPECT_EQ(d.m_Progress->maximum(), 100);
  QTRY_COMPARE_WITH_TIMEOUT(d.m_Progress->value(), 321, 2000);
  EXPECT_EQ(d.m_Progress->maximum(), 500);
}

TEST(DialogView, CallsFromTheSenderThreadKeepTheirOrder) {
  DialogRig rig;
  DownloaderDialog& d = *rig.dialog;
  d.m_Info.clear();
  std::thread sender([&] {
    d.PlayAnimation(ctl::kConnectAnimation);
    d.SetProgressRange(4);
    for (const char* marker : {".", ".", "<CONNECTED>"}) d.AppendInfo(marker);
    d.SetProgressPos(4);
    d.StopAnimation(ctl::kConnectAnimation);
    d.ShowSettings(1);
    d.ShowMessage("stopped");
  });
  sender.join();
  EXPECT_TRUE(rig.boxes.texts.empty());
  QTRY_COMPARE_WITH_TIMEOUT(rig.boxes.texts.size(), size_t{1}, 2000);
  EXPECT_EQ(rig.boxes.texts[0], "stopped");
  EXPECT_EQ(d.m_Progress->maximum(), 4);
  EXPECT_EQ(d.m_Progress->value(), 4);
  EXPECT_FALSE(Playing(d, ctl::kConnectAnimation));
  // The settings text replaced the markers, as it came last.
  EXPECT_EQ(rig.InfoText(), "\n\n다운로드가 종료 되었습니다..\n\n");
}

}  // namespace
}  // namespace flashkit::testing
