#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/signals.h"
#include "tests/support/xfer_wire.h"
#include "tests/usbhw/usb_hw_rig.h"

namespace flashkit::testing {
namespace {

using platform::Opened;

// The host's pipes on a device with a 64-byte bulk IN 0x83 and OUT 0x02.
struct OpenPipes {
  OpenPipes() {
    Opened<platform::Device> opened_in = rig.Open(platform::kReadPipeName);
    Opened<platform::Device> opened_out = rig.Open(platform::kWritePipeName);
    EXPECT_NE(opened_in.device, nullptr) << opened_in.status.Text();
    EXPECT_NE(opened_out.device, nullptr) << opened_out.status.Text();
    in = std::move(opened_in.device);
    out = std::move(opened_out.device);
  }

  UsbHwRig rig;
  std::unique_ptr<platform::Device> in;
  std::unique_ptr<platform::Device> out;
};

// What the device sends, as pieces handed to its endpoint one after the
// other (an empty piece is a zero-length packet), and the size of the
// host's reads.
struct StreamRow {
  const char* name;
  std::vector<size_t> pieces;
  size_t read_size;
};

class UsbReadStream : public ::testing::TestWithParam<StreamRow> {};

TEST_P(UsbReadStream, EveryByteArrivesOnceInOrder) {
  OpenPipes pipes;
  ASSERT_TRUE(pipes.in);
  Bytes sent;
  for (size_t piece : GetParam().pieces) {
    const Bytes bytes = Slice(Pattern(sent.size() + piece), sent.size(), piece);
    if (piece == 0) {
      pipes.rig.device->SendZeroLengthPacket();
    } else {
      pipes.rig.device->Send(bytes);
    }
    sent.insert(sent.end(), bytes.begin(), bytes.end());
  }
  EXPECT_EQ(ReadFor(*pipes.in, sent.size(), 3000, GetParam().read_size), sent);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, UsbReadStream,
    ::testing::Values(StreamRow{"OneShortPacket", {5}, 4096},
                      // Sent as one packet and no zero-length one: it must not wait
                      // in a transfer for more.
                      StreamRow{"OneFullPacketAndNothingAfter", {64}, 4096},
                      StreamRow{"FullPacketsThenAShortOne", {64 * 3 + 10}, 4096},
                      StreamRow{"ZeroLengthPacketBetween", {64, 0, 30}, 4096},
                      // More than the transfers in flight hold: the device waits for
                      // the host to post them again.
                      StreamRow{"MoreThanThePostedTransfersHold", {3000}, 4096},
                      StreamRow{"ReadInSmallPieces", {64 * 2 + 7, 64, 1}, 7}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UsbRead, BytesThatCameWhileNobodyReadWait) {
  OpenPipes pipes;
  ASSERT_TRUE(pipes.in);
  const Bytes first = Slice(Pattern(64), 0, 64);
  pipes.rig.device->Send(first);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const Bytes second = {'o', 'k'};
  pipes.rig.device->Send(second);
  EXPECT_EQ(ReadFor(*pipes.in, 66, 2000), Join({first, second}));
}

TEST(UsbRead, ReadsNeverWaitAndPollingEndsWhenBytesCome) {
  OpenPipes pipes;
  ASSERT_TRUE(pipes.in);
  uint8_t byte = 0;
  auto start = std::chrono::steady_clock::now();
  const platform::IoResult nothing = pipes.in->Read(&byte, 1);
  EXPECT_TRUE(nothing.ok());
  EXPECT_EQ(nothing.count, 0u);
  EXPECT_LT(MsSince(start), 100);

  start = std::chrono::steady_clock::now();
  pipes.in->PollInput(150);
  EXPECT_GE(MsSince(start), 140) << "a poll with nothing arriving waits its time";
  EXPECT_LT(MsSince(start), 1000);

  std::thread device([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pipes.rig.device->Send({'C'});
  });
  start = std::chrono::steady_clock::now();
  pipes.in->PollInput(5000);
  EXPECT_LT(MsSince(start), 2000) << "a poll ends when a byte arrives";
  device.join();
  EXPECT_EQ(ReadFor(*pipes.in, 1, 1000), Bytes{'C'});
}

class UsbWriteSizes : public ::testing::TestWithParam<size_t> {};

TEST_P(UsbWriteSizes, AllBytesReachTheOutEndpointInOrder) {
  OpenPipes pipes;
  ASSERT_TRUE(pipes.out);
  const Bytes data = Pattern(GetParam());
  const platform::IoResult wrote = pipes.out->Write(data.data(), data.size());
  EXPECT_TRUE(wrote.ok()) << wrote.status.Text();
  EXPECT_EQ(wrote.count, data.size());
  EXPECT_EQ(pipes.rig.device->Received(0x02), data);
}

// A byte, a packet, a 1K YMODEM frame, and more than one transfer carries.
INSTANTIATE_TEST_SUITE_P(Sizes, UsbWriteSizes, ::testing::Values(1, 64, 1029, 40000));

TEST(UsbWrite, ADeviceThatStopsTakingEndsTheWriteWithWhatWent) {
  OpenPipes pipes;
  ASSERT_TRUE(pipes.out);
  pipes.rig.device->TakeAtMost(100);
  const Bytes frame = Pattern(1029);
  const auto start = std::chrono::steady_clock::now();
  const platform::IoResult wrote = pipes.out->Write(frame.data(), frame.size());
  const int64_t elapsed = MsSince(start);
  EXPECT_TRUE(wrote.ok()) << wrote.status.Text();
  EXPECT_EQ(wrote.count, 100u);
  EXPECT_EQ(pipes.rig.device->Received(0x02), Slice(frame, 0, 100));
  EXPECT_GE(elapsed, 1900) << "gave up before the device had stalled for two seconds";
  EXPECT_LT(elapsed, 3500);
}

// Ctrl-C ends a write the device holds and a wait for input at once, as on
// the other devices. Stop signals stay raised for the process: a child of
// its own runs this.
void StopEndsTheWaits() {
  OpenPipes pipes;
  if (!pipes.in || !pipes.out || !platform::InstallStopSignals()) std::exit(2);
  pipes.rig.device->TakeAtMost(0);
  std::thread user([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::raise(SIGINT);
  });
  const Bytes frame = Pattern(1029);
  auto start = std::chrono::steady_clock::now();
  const platform::IoResult wrote = pipes.out->Write(frame.data(), frame.size());
  const bool write_ended = wrote.ok() && wrote.count == 0 && MsSince(start) < 1500;
  user.join();
  start = std::chrono::steady_clock::now();
  pipes.in->PollInput(5000);
  const bool poll_ended = MsSince(start) < 1000;
  std::exit(write_ended && poll_ended ? 0 : 1);
}

TEST(UsbStopDeathTest, AStopSignalEndsAHeldWriteAndAPoll) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(StopEndsTheWaits(), ::testing::ExitedWithCode(0), "");
}

TEST(UsbPipes, EachPipeRefusesTheOtherDirection) {
  OpenPipes pipes;
  ASSERT_TRUE(pipes.in && pipes.out);
  uint8_t byte = 'x';
  EXPECT_FALSE(pipes.in->Write(&byte, 1).ok());
  EXPECT_FALSE(pipes.out->Read(&byte, 1).ok());
}

}  // namespace
}  // namespace flashkit::testing
