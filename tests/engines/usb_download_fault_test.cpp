#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/engines/usb_rig.h"

namespace flashkit {
namespace {

using testing::Bytes;
using testing::DeviceOp;
using testing::UsbRig;
using Calls = std::vector<std::string>;

size_t Count(const Calls& calls, const std::string& call) {
  return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
}

// The calls after every connect try's own ("play 1025" / "stop 1025").
Calls Tail(const Calls& calls, size_t count) {
  return Calls(calls.end() - static_cast<long>(std::min(count, calls.size())), calls.end());
}

TEST(UsbDownloadConnect, NoDeviceGivesUpAfter1000TriesAndAbout100Seconds) {
  UsbRig rig;
  rig.system.interfaces = std::vector<std::string>{};
  rig.WriteImage("fw.bin", 100);
  const size_t files_before = testing::OpenFiles();

  rig.Run("fw.bin");

  EXPECT_EQ(rig.view.Info(), std::string(1000, '.'));
  EXPECT_EQ(rig.system.time.NowMs(), 100u + 1000u * 100u);
  const Calls dialog = rig.view.OnThisThread();
  EXPECT_EQ(dialog.front(), "play 1026");
  EXPECT_EQ(Count(dialog, "stop 1025"), 1001u);
  EXPECT_EQ(Tail(dialog, 2), (Calls{"stop 1025", "stop 1026"}));
  EXPECT_EQ(Count(dialog, "play 1025"), 0u);
  EXPECT_TRUE(rig.ToDevice().offered.empty());
  EXPECT_FALSE(rig.download->SenderRunning());
  EXPECT_EQ(testing::OpenFiles(), files_before);
}

// The device re-enumerates after the request packet but never comes back.
TEST(UsbDownloadConnect, DeviceGoneAfterTheRequestPacket) {
  UsbRig rig;
  rig.WriteImage("fw.bin", 100);
  rig.ToDevice().on_write = [&rig](const Bytes&) { rig.system.interfaces = std::vector<std::string>{}; };

  rig.Run("fw.bin");

  EXPECT_EQ(rig.view.Info(), "<CONNECTED>" + std::string(1000, '.'));
  EXPECT_EQ(rig.ToDevice().offered.size(), 1u) << "the request packet only";
  EXPECT_EQ(Tail(rig.view.OnThisThread(), 2), (Calls{"stop 1025", "stop 1026"}));
}

struct StopRow {
  const char* name;
  const char* file;
  size_t size;
  size_t answers;
  std::optional<DeviceOp> failing;  // a pipe call that fails
  int failing_call;                 // which one, 1-based
  size_t writes;                    // write calls made, the failing one included
  const char* message;
  Calls sender;  // what the sender thread did to the dialog
};

class UsbDeviceStops : public ::testing::TestWithParam<StopRow> {};

TEST_P(UsbDeviceStops, DownloadEndsAndTellsTheUser) {
  const StopRow& row = GetParam();
  UsbRig rig;
  rig.WriteImage(row.file, row.size);
  rig.Answers(row.answers);
  if (row.failing) {
    auto& pipe = *row.failing == DeviceOp::kRead ? rig.FromDevice() : rig.ToDevice();
    pipe.Fail(*row.failing, platform::SysError::kOther, row.failing_call);
  }
  const size_t files_before = testing::OpenFiles();

  rig.Run(row.file);
  rig.download->OnTimer(kProgressTimerId);

  EXPECT_EQ(rig.ToDevice().offered.size() + (row.failing == DeviceOp::kWrite ? 1 : 0), row.writes);
  ASSERT_FALSE(rig.ToDevice().offered.empty());
  EXPECT_NE(rig.ToDevice().offered.back()[2], 0xFC) << "no end frame";
  const std::string message = std::string("message ") + row.message;
  const Calls all = [&] {
    Calls calls = rig.view.OnThisThread();
    const Calls sender = rig.view.OnOtherThreads();
    calls.insert(calls.end(), sender.begin(), sender.end());
    return calls;
  }();
  EXPECT_EQ(Count(all, message), 1u);
  EXPECT_EQ(Count(all, "settings 1"), 0u) << "not reported as ended";
  EXPECT_EQ(Count(all, "stop 1026"), 1u);
  EXPECT_EQ(rig.view.OnOtherThreads(), row.sender);
  EXPECT_EQ(rig.view.OnThisThread().back(), "kill 1") << "the timer stops at its next tick";
  EXPECT_TRUE(rig.ToDevice().closed && rig.FromDevice().closed);
  EXPECT_FALSE(rig.download->SenderRunning());
  EXPECT_EQ(testing::OpenFiles(), files_before);
}

const Calls kSenderStops = {"stop 1025", "stop 1026"};
Calls SenderStopsWith(const std::string& message) {
  Calls calls = kSenderStops;
  calls.push_back("message " + message);
  calls.push_back("outcome " + message);
  return calls;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UsbDeviceStops,
    ::testing::Values(
        StopRow{"NoAnswerToTheSizeFrame", "fw.bin", 100, 0, std::nullopt, 0, 2,
                "The USB device stopped answering after 0 of 100 bytes; the download was stopped.",
                {}},
        StopRow{"AnswersTwoOfFourDataFrames", "fw.bin", 100, 3, std::nullopt, 0, 5,
                "The USB device stopped answering after 64 of 100 bytes; the download was stopped.",
                SenderStopsWith("The USB device stopped answering after 64 of 100 bytes; the "
                                "download was stopped.")},
        StopRow{"ReadPipeFailsOnTheSecondDataFrame", "iap.bin", 100, 5, DeviceOp::kRead, 3, 4,
                "The USB device stopped answering after 32 of 100 bytes; the download was stopped.",
                SenderStopsWith("The USB device stopped answering after 32 of 100 bytes; the "
                                "download was stopped.")},
        StopRow{"WritePipeRefusesTheSecondDataFrame", "fw.bin", 100, 5, DeviceOp::kWrite, 4, 4,
                "The USB device stopped answering after 32 of 100 bytes; the download was stopped.",
                SenderStopsWith("The USB device stopped answering after 32 of 100 bytes; the "
                                "download was stopped.")},
        StopRow{"EndFrameRefused", "fw.bin", 100, 5, DeviceOp::kWrite, 7, 7,
                "The USB device stopped answering after 100 of 100 bytes; the download was stopped.",
                SenderStopsWith("The USB device stopped answering after 100 of 100 bytes; the "
                                "download was stopped.")},
        StopRow{"NamedImageFrameRefused", "vivi", 121, 1, DeviceOp::kWrite, 3, 3,
                "The USB device stopped answering after 60 of 121 bytes; the download was stopped.",
                {}}),
    [](const auto& info) { return std::string(info.param.name); });

// A device that answers nothing costs one read time-out, on the virtual clock.
TEST(UsbDeviceStopsTiming, OneReadTimeOutThenTheEnd) {
  UsbRig rig;
  rig.WriteImage("fw.bin", 100);
  rig.Answers(1);
  rig.Run("fw.bin");
  EXPECT_EQ(rig.system.time.NowMs(), 100u + 1000u + 100u + UsbLink::kReadTimeoutMs);
}

struct RefusedRow {
  const char* name;
  const char* file;
  uintmax_t size;  // nothing: no such file; 0 with `folder`: a folder of that name
  bool folder;
  const char* message;
};

class UsbImageRefused : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(UsbImageRefused, BeforeConnecting) {
  const RefusedRow& row = GetParam();
  UsbRig rig;
  if (row.folder) {
    std::filesystem::create_directory(rig.dir / row.file);
  } else if (row.size > 0) {
    rig.WriteHole(row.file, row.size);
  }
  const size_t files_before = testing::OpenFiles();

  rig.Run(row.file);

  EXPECT_EQ(rig.view.OnThisThread(),
            (Calls{"play 1026", std::string("message ") + row.message, "stop 1025", "stop 1026"}));
  EXPECT_EQ(std::count_if(rig.system.log.begin(), rig.system.log.end(),
                          [](const std::string& entry) { return entry.starts_with("list "); }),
            0)
      << "no device looked for";
  EXPECT_EQ(testing::OpenFiles(), files_before);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UsbImageRefused,
    ::testing::Values(
        RefusedRow{"NamedImagePastSevenDigits", "zImage", 10000000, false,
                   "zImage is 10000000 bytes; the USB download takes at most 9999999 bytes for "
                   "this kind of image."},
        RefusedRow{"RootPastSevenDigits", "rootfs.img", 12000000, false,
                   "rootfs.img is 12000000 bytes; the USB download takes at most 9999999 bytes "
                   "for this kind of image."},
        RefusedRow{"SizedImagePastEightDigits", "fw.bin", 100000000, false,
                   "fw.bin is 100000000 bytes; the USB download takes at most 99999999 bytes for "
                   "this kind of image."},
        RefusedRow{"PastTwoGigabytes", "iap.bin", 3000000000u, false,
                   "iap.bin is 3000000000 bytes; the USB download takes at most 99999999 bytes "
                   "for this kind of image."},
        RefusedRow{"NoSuchFile", "absent.bin", 0, false,
                   "The image file absent.bin cannot be opened."},
        RefusedRow{"AFolder", "vivi", 0, true, "The image file vivi cannot be opened."}),
    [](const auto& info) { return std::string(info.param.name); });

// At their limits the sizes still go out, digit for digit.
TEST(UsbImageAtItsLimit, NamedImageOf9999999BytesIsAnnounced) {
  UsbRig rig;
  rig.WriteHole("vivi", 9999999);
  rig.ToDevice().Fail(DeviceOp::kWrite, platform::SysError::kOther, 2);
  rig.Run("vivi");
  ASSERT_EQ(rig.ToDevice().offered.size(), 1u);
  const Bytes& header = rig.ToDevice().offered[0];
  EXPECT_EQ(std::string(header.begin() + 8, header.end() - 1), "9999999");
}

// FINISH sends no header, so no size has to fit one.
TEST(UsbImageAtItsLimit, NamedImagePastSevenDigitsOnFinishSendsTheEndFrame) {
  UsbRig rig;
  rig.WriteHole("zImage", 12000000);
  rig.Run("zImage", "FINISH");
  EXPECT_EQ(rig.ToDevice().offered, (std::vector<Bytes>{{0x02, 0x01, 0xFB, 0x03}}));
}

TEST(UsbImageAtItsLimit, SizedImageOf99999999BytesIsAnnounced) {
  UsbRig rig;
  rig.WriteHole("fw.bin", 99999999);
  rig.Run("fw.bin");  // no answer to the size frame
  ASSERT_EQ(rig.ToDevice().offered.size(), 2u);
  const Bytes& size = rig.ToDevice().offered[1];
  EXPECT_EQ(std::string(size.begin() + 3, size.end() - 1), "99999999");
}

struct TimerRow {
  const char* name;
  const char* file;
  size_t size;
  size_t frame_length;  // of a data frame
  Calls ticks;          // a timer tick as each data frame goes out
};

class UsbProgressTimer : public ::testing::TestWithParam<TimerRow> {};

TEST_P(UsbProgressTimer, ReportsFramesThenStopsItself) {
  const TimerRow& row = GetParam();
  UsbRig rig;
  rig.WriteImage(row.file, row.size);
  rig.Answers(row.size / 32 + 2);
  UsbFramedDownload& download = *rig.download;
  rig.ToDevice().on_write = [&download, &row](const Bytes& frame) {
    if (frame.size() == row.frame_length) download.OnTimer(kProgressTimerId);
  };

  rig.Run(row.file);
  Calls ticks = rig.view.OnOtherThreads();
  ticks.resize(row.ticks.size());
  EXPECT_EQ(ticks, row.ticks);

  rig.download->OnTimer(2);
  EXPECT_EQ(rig.view.OnThisThread().back(), "timer 1 1") << "other timers are not ours";
  rig.download->OnTimer(kProgressTimerId);
  EXPECT_EQ(rig.view.OnThisThread().back(), "kill 1");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UsbProgressTimer,
    ::testing::Values(
        TimerRow{"Payload32", "iap.bin", 100, 36,
                 {"progress 1 0", "progress 2 0", "progress 3 0", "progress 4 0"}},
        TimerRow{"Payload60", "ZQT410_TAXI.bin", 121, 64,
                 {"progress 1 0", "progress 2 0", "progress 3 0"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UsbProgressTimerIdle, BeforeAnyDownloadItOnlyStops) {
  UsbRig rig;
  rig.download->OnTimer(kProgressTimerId);
  EXPECT_EQ(rig.view.OnThisThread(), (Calls{"kill 1"}));
}

// Another download asked for while the sender runs is refused without
// touching the running one.
TEST(UsbSenderRunning, SecondDownloadRefused) {
  UsbRig rig;
  rig.WriteImage("fw.bin", 100);
  rig.WriteImage("other.bin", 10);
  rig.Answers(5);
  UsbFramedDownload& download = *rig.download;
  bool refused_once = false;
  rig.ToDevice().on_write = [&](const Bytes& frame) {
    if (frame.size() != 36 || refused_once) return;
    refused_once = true;
    EXPECT_TRUE(download.SenderRunning());
    download.UsbDownload("other.bin", "RUN");
  };

  rig.Run("fw.bin");

  const Calls sender = rig.view.OnOtherThreads();
  EXPECT_EQ(sender.front(), "message A USB download is still running; wait until it has ended.");
  EXPECT_EQ(sender.back(), "settings 1");
  EXPECT_EQ(rig.ToDevice().offered.size(), 7u) << "request, size, four frames, end";
}

// Destroying the download stops its sender at the next frame, closes the
// link and leaves the dialog alone.
TEST(UsbSenderRunning, DestructionStopsAndJoinsTheSender) {
  UsbRig rig;
  rig.WriteImage("fw.bin", 100);
  rig.Answers(5);
  std::atomic<bool> in_frame{false};
  UsbFramedDownload* download = rig.download.get();
  rig.ToDevice().on_write = [&](const Bytes& frame) {
    if (frame.size() != 36 || in_frame) return;
    in_frame = true;
    // Holds the first data frame until the destructor has cleared the mark.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (download->SenderRunning() && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::yield();
    }
  };

  rig.download->UsbDownload("fw.bin", "RUN");
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!in_frame && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
  ASSERT_TRUE(in_frame);
  rig.download.reset();

  EXPECT_EQ(rig.ToDevice().offered.size(), 3u) << "request, size, the first frame; no end frame";
  EXPECT_TRUE(rig.view.OnOtherThreads().empty());
  EXPECT_TRUE(rig.ToDevice().closed && rig.FromDevice().closed);
}

}  // namespace
}  // namespace flashkit
