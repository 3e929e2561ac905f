#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/engines/usb_rig.h"

namespace flashkit {
namespace {

using testing::Bytes;
using testing::Concat;
using testing::UsbRig;
using Calls = std::vector<std::string>;
using Writes = std::vector<Bytes>;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The request packets of each image type, as the device knows them.
Bytes Request(uint8_t type) {
  static const std::map<uint8_t, Bytes> kPackets = {
      {0x80, {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0x80, 0x00, 0x00, 0xFF, 0x65, 0x03}},
      {0xFF, {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0xFF, 0x00, 0x00, 0x79, 0x6A, 0x03}},
  };
  return kPackets.at(type);
}

Bytes Size(const std::string& digits) { return Concat({{0x02, 0x09, 0xFF}, Text(digits), {0x03}}); }

Bytes Header(uint8_t type, const std::string& name, const std::string& digits) {
  return Concat({{0x02, static_cast<uint8_t>(name.size() + 9), type}, Text(name), {0x00},
                 Text(digits), {0x03}});
}

const Bytes kEndRun = {0x02, 0x01, 0xFC, 0x03};
const Bytes kEndFinish = {0x02, 0x01, 0xFB, 0x03};

// Every data frame of `image`, `payload` bytes each, the last one filled
// out with 0xFF.
Writes DataFrames(const Bytes& image, size_t payload) {
  Writes frames;
  for (size_t at = 0; at < image.size(); at += payload) {
    Bytes frame = {0x02, static_cast<uint8_t>(payload + 1), 0xFE};
    for (size_t i = at; i < at + payload; ++i) frame.push_back(i < image.size() ? image[i] : 0xFF);
    frame.push_back(0x03);
    frames.push_back(frame);
  }
  return frames;
}

Writes Join(std::initializer_list<Writes> parts) {
  Writes all;
  for (const Writes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct FlowRow {
  const char* name;
  const char* file;
  size_t size;
  const char* condition;
  size_t answers;  // one-byte answers the device has ready
  uint8_t answer;  // each of them
  std::function<Writes(const Bytes& image)> writes;
  Calls dialog;  // what the dialog's thread did to the dialog
  Calls sender;  // what the sender thread did to it
  std::string info;
  std::vector<uint32_t> sleeps;
};

class UsbDownloadFlows : public ::testing::TestWithParam<FlowRow> {};

TEST_P(UsbDownloadFlows, FramesAnswersAndDialog) {
  const FlowRow& row = GetParam();
  UsbRig rig;
  const Bytes image = rig.WriteImage(row.file, row.size);
  rig.FromDevice().Arrive(Bytes(row.answers, row.answer));
  const size_t files_before = testing::OpenFiles();

  rig.Run(row.file, row.condition);

  EXPECT_EQ(rig.ToDevice().offered, row.writes(image));
  EXPECT_EQ(rig.FromDevice().Pending(), 0u) << "every answer is taken";
  EXPECT_EQ(rig.view.OnThisThread(), row.dialog);
  EXPECT_EQ(rig.view.OnOtherThreads(), row.sender);
  EXPECT_EQ(rig.view.Info(), row.info);
  EXPECT_EQ(rig.system.time.sleeps, row.sleeps);
  EXPECT_TRUE(rig.ToDevice().closed && rig.FromDevice().closed);
  EXPECT_FALSE(rig.download->SenderRunning());
  EXPECT_EQ(testing::OpenFiles(), files_before) << "the image file is closed";
}

const Calls kSizedStart = {"play 1026", "play 1025", "play 1025"};
const Calls kSenderEnd = {"stop 1025", "stop 1026", "settings 1"};
const std::string kTwice = "<CONNECTED><CONNECTED>";
const std::vector<uint32_t> kSizedSleeps = {100, 1000, 100};

Calls With(Calls calls, std::initializer_list<std::string> more) {
  calls.insert(calls.end(), more);
  return calls;
}

std::vector<uint32_t> AckWaitAfter(std::vector<uint32_t> sleeps) {
  sleeps.insert(sleeps.end(), 100, 1);
  return sleeps;
}

// A 60-byte root image, and what the dialog shows when the device does not
// confirm it with 0x06.
Writes RootImage(const Bytes& image) {
  return Join({{Header(0x83, "root", "0000060")}, DataFrames(image, 60), {kEndRun}});
}
Calls RootUnconfirmed(const std::string& outcome) {
  return {"play 1026", "play 1025", "range 2", "progress 1 0", "pos 60", "stop 1025", "stop 1026",
          "message The USB device did not confirm the end of the download (no 0x06 after the end "
          "frame); the image may not have been stored.",
          "outcome " + outcome};
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UsbDownloadFlows,
    ::testing::Values(
        FlowRow{"Iap100BytesIn32ByteFrames", "iap_cortex.bin", 100, "RUN", 5, 0x06,
                [](const Bytes& image) {
                  return Join({{Request(0x80), Size("00000100")}, DataFrames(image, 32), {kEndRun}});
                },
                With(kSizedStart, {"range 4", "timer 1 1"}), kSenderEnd, kTwice, kSizedSleeps},
        FlowRow{"OtherImageEndsWithRunEvenOnFinish", "board.bin", 100, "FINISH", 5, 0x06,
                [](const Bytes& image) {
                  return Join({{Request(0xFF), Size("00000100")}, DataFrames(image, 32), {kEndRun}});
                },
                With(kSizedStart, {"range 4", "timer 1 1"}), kSenderEnd, kTwice, kSizedSleeps},
        FlowRow{"Zqt410In60ByteFrames", "ZQT410_TAXI.bin", 121, "RUN", 4, 0x06,
                [](const Bytes& image) {
                  return Join({{Request(0xFF), Size("00000121")}, DataFrames(image, 60), {kEndRun}});
                },
                With(kSizedStart, {"range 3", "timer 1 1"}), kSenderEnd, kTwice, kSizedSleeps},
        FlowRow{"EmptyImageEndsAtOnce", "fw.bin", 0, "RUN", 1, 0x06,
                [](const Bytes&) { return Writes{Request(0xFF), Size("00000000"), kEndRun}; },
                With(kSizedStart, {"range 1", "timer 1 1"}), kSenderEnd, kTwice, kSizedSleeps},
        FlowRow{"Vivi121BytesThreeFrames", "vivi", 121, "RUN", 1, 0x06,
                [](const Bytes& image) {
                  return Join({{Header(0x81, "vivi", "0000121")}, DataFrames(image, 60), {kEndRun}});
                },
                {"play 1026", "play 1025", "range 3", "progress 1 0", "progress 2 0", "progress 3 0",
                 "pos 121", "stop 1025", "stop 1026", "settings 1"},
                {}, "<CONNECTED>", {100, 1}},
        FlowRow{"Vivi120BytesTwoFrames", "vivi.bin", 120, "RUN", 1, 0x06,
                [](const Bytes& image) {
                  return Join({{Header(0x81, "vivi", "0000120")}, DataFrames(image, 60), {kEndRun}});
                },
                {"play 1026", "play 1025", "range 3", "progress 1 0", "progress 2 0", "pos 120",
                 "stop 1025", "stop 1026", "settings 1"},
                {}, "<CONNECTED>", {100, 1}},
        FlowRow{"ViviFinishSendsOnlyTheEndFrame", "vivi", 121, "FINISH", 1, 0x06,
                [](const Bytes&) { return Writes{kEndFinish}; },
                {"play 1026", "play 1025", "pos 121", "stop 1025", "stop 1026", "settings 1"}, {},
                "<CONNECTED>",
                {100}},
        FlowRow{"ConditionMustBeRunExactly", "vivi", 60, "run", 1, 0x06,
                [](const Bytes&) { return Writes{kEndFinish}; },
                {"play 1026", "play 1025", "pos 60", "stop 1025", "stop 1026", "settings 1"}, {},
                "<CONNECTED>",
                {100}},
        FlowRow{"RootWithoutAckSaysUnconfirmed", "rootfs.img", 60, "RUN", 0, 0x06, RootImage,
                RootUnconfirmed("The device did not confirm the image: no 0x06 came within 100 ms "
                                "of the end frame."),
                {}, "<CONNECTED>", AckWaitAfter({100, 1})},
        FlowRow{"RootRefusedSaysWithWhat", "rootfs.img", 60, "RUN", 1, 0x15, RootImage,
                RootUnconfirmed("The device refused the image: it answered 0x15, not 0x06, to the "
                                "end frame."),
                {}, "<CONNECTED>", AckWaitAfter({100, 1})}),
    [](const auto& info) { return std::string(info.param.name); });

// The pipes in order: the request alone on the first connection, then on the
// second one read after the size frame and after each data frame, none
// after the end frame.
TEST(UsbDownloadLink, RequestReconnectThenOneReadPerFrame) {
  UsbRig rig;
  rig.WriteImage("iap.bin", 40);
  rig.Answers(3);
  rig.Run("iap.bin");

  Calls pipes;
  for (const std::string& entry : rig.system.log) {
    if (entry.starts_with("PIPE") || entry.starts_with("sleep")) pipes.push_back(entry);
  }
  EXPECT_EQ(pipes, (Calls{"sleep 100", "PIPE01 write", "PIPE00 close", "PIPE01 close",
                          "sleep 1000", "sleep 100", "PIPE01 write", "PIPE00 read",
                          "PIPE01 write", "PIPE00 read", "PIPE01 write", "PIPE00 read",
                          "PIPE01 write", "PIPE00 close", "PIPE01 close"}));
}

TEST(UsbDownloadLink, ZImageHeaderNamesKernelAnd25000Frames) {
  UsbRig rig;
  const Bytes image = rig.WriteImage("zImage", 1500000);
  rig.Answers(1);
  rig.Run("zImage");

  const Writes& writes = rig.ToDevice().offered;
  ASSERT_EQ(writes.size(), 25002u);
  EXPECT_EQ(writes.front(), Header(0x82, "kernel", "1500000"));
  EXPECT_EQ(writes.front().size(), 18u);
  EXPECT_EQ(writes[25000], Concat({{0x02, 0x3D, 0xFE}, Bytes(image.end() - 60, image.end()), {0x03}}));
  EXPECT_EQ(writes.back(), kEndRun);
  EXPECT_EQ(rig.ToDevice().written.size(), 18u + 25000u * 64u + 4u);

  const Calls dialog = rig.view.OnThisThread();
  EXPECT_EQ(dialog[2], "range 25001");
  EXPECT_EQ(dialog[dialog.size() - 5], "progress 25000 0");
  EXPECT_EQ(dialog[dialog.size() - 4], "pos 1500000");
  EXPECT_EQ(dialog.back(), "settings 1") << "the device confirmed the image";
}

}  // namespace
}  // namespace flashkit
