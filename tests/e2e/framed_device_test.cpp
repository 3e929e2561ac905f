// flashpanel's USB link against devsim usb-framed in a temporary namespace:
// the request, the device gone and back, then the size-announced or the
// named-image download as the host sends it, and the image the device
// stored, byte for byte and by its SHA-256. Real time, short.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/crc16_table.h"
#include "common/request_packet.h"
#include "gui/links/usb_link.h"
#include "platform/clock.h"
#include "platform/device_system.h"
#include "tests/sim/framed_frames.h"
#include "tests/support/e2e_devsim.h"
#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"

namespace flashkit::testing {
namespace {

namespace fs = std::filesystem;
using sim::testing::DataFrames;
using sim::testing::EndFrame;
using sim::testing::HeaderFrame;
using sim::testing::SizeFrame;

constexpr char kClass[] = "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}";
constexpr uint32_t kEventLimitMs = 10000;
constexpr int kConnectTries = 100;
constexpr uint8_t kAck = 0x06;

// The host's side, as flashpanel's download drives its link: connects
// with retries 100 ms apart, and the request's reconnect a second later.
class FramedHost {
 public:
  explicit FramedHost(E2eSandbox& sandbox) {
    setenv("FLASHKIT_DEVROOT", sandbox.dev().c_str(), 1);
  }
  ~FramedHost() { unsetenv("FLASHKIT_DEVROOT"); }

  bool ConnectWithRetries() {
    for (int i = 0; i < kConnectTries; ++i) {
      platform::SystemClock().SleepMs(100);
      if (link.Connect() == 1) return true;
    }
    return false;
  }

  bool Send(const Bytes& bytes) {
    return link.Write(bytes.data(), static_cast<uint32_t>(bytes.size())) ==
           static_cast<int32_t>(bytes.size());
  }

  // One byte, as the download reads each answer; nothing after the link's
  // read time-out.
  std::optional<uint8_t> Answer() {
    uint8_t byte = 0;
    if (link.Read(&byte, 1) != 1) return std::nullopt;
    return byte;
  }

  bool SendRequest(ImageType type) {
    if (!ConnectWithRetries()) return false;
    RequestPacket packet;
    packet.Fill(type, crc_);
    const bool sent = Send(Bytes(packet.bytes.begin(), packet.bytes.end()));
    link.Close();
    return sent;
  }

  // Each answer the device gave, in order.
  std::vector<std::optional<uint8_t>> SizeAnnounced(const Bytes& image, size_t payload) {
    std::vector<std::optional<uint8_t>> answers;
    if (!ConnectWithRetries()) return answers;
    Send(SizeFrame(static_cast<uint32_t>(image.size())));
    answers.push_back(Answer());
    const Bytes frames = DataFrames(image, payload);
    for (size_t at = 0; at < frames.size(); at += payload + 4) {
      Send(Bytes(frames.begin() + static_cast<long>(at), frames.begin() + static_cast<long>(at + payload + 4)));
      answers.push_back(Answer());
    }
    Send(EndFrame(true));
    link.Close();
    return answers;
  }

  // WaitForByte's result for the end frame's answer.
  int32_t NamedImage(uint8_t type, const std::string& name, const Bytes& image, bool run) {
    if (!ConnectWithRetries()) return 0;
    if (run) {
      Send(HeaderFrame(type, name, static_cast<uint32_t>(image.size())));
      const Bytes frames = DataFrames(image, 60);
      for (size_t at = 0; at < frames.size(); at += 64) {
        Send(Bytes(frames.begin() + static_cast<long>(at), frames.begin() + static_cast<long>(at + 64)));
      }
    }
    Send(EndFrame(run));
    const int32_t acked = link.WaitForByte(kAck);
    link.Close();
    return acked;
  }

  UsbLink link{platform::RealSystem()};

 private:
  const Crc16Table crc_;
};

std::string EntryPath(const E2eSandbox& sandbox) {
  return (sandbox.dev() / "usb" / kClass / "framed").string();
}

std::vector<std::string> EventNames(const E2eDevsim& device) {
  std::vector<std::string> names;
  for (const std::string& line : device.Events()) {
    if (auto name = EventField(line, "event")) names.push_back(*name);
  }
  return names;
}

struct FlowRow {
  const char* name;
  bool named;
  ImageType type;      // of the request, size-announced flow
  uint8_t header;      // named flow: the header's type byte
  const char* header_name;
  bool run;
  size_t size;
  size_t payload;
  const char* stored_as;  // null: nothing stored
  std::vector<std::string> events;
};

const std::vector<std::string> kSizeEvents = {
    "ready", "connected", "request", "disconnected", "reenumerate", "present",
    "connected", "size", "frames", "end", "stored", "disconnected"};
const std::vector<std::string> kNamedEvents = {"ready", "connected", "header", "frames",
                                               "end", "stored", "disconnected"};

const FlowRow kRows[] = {
    {"size-announced, empty image", false, ImageType::kOther, 0, "", true, 0, 32, "image-1.bin",
     kSizeEvents},
    {"size-announced, 100 bytes, payload 32", false, ImageType::kIap, 0, "", true, 100, 32,
     "image-1.bin", kSizeEvents},
    {"size-announced, 1000 bytes, payload 60", false, ImageType::kOther, 0, "", true, 1000, 60,
     "image-1.bin", kSizeEvents},
    {"named vivi, 121 bytes", true, ImageType::kVivi, 0x81, "vivi", true, 121, 60, "vivi",
     kNamedEvents},
    {"named zImage as kernel, 6000 bytes", true, ImageType::kZImage, 0x82, "kernel", true, 6000, 60,
     "kernel", kNamedEvents},
    {"FINISH: the end frame alone", true, ImageType::kVivi, 0x81, "vivi", false, 121, 60, nullptr,
     {"ready", "connected", "end", "disconnected"}},
};

class FramedDownload : public ::testing::TestWithParam<FlowRow> {};

TEST_P(FramedDownload, StoredAsSent) {
  const FlowRow& row = GetParam();
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const fs::path store = sandbox.root() / "store";
  E2eDevsim device(sandbox, {"usb-framed", "--usb", "framed", "--store", store.string()});
  ASSERT_TRUE(device.WaitReady()) << device.Diagnostics();
  EXPECT_EQ(EventField(*device.WaitForEvent("ready", 0), "path"), EntryPath(sandbox));

  const Bytes image = RandomBytes(row.size, 21);
  FramedHost host(sandbox);
  if (!row.named) {
    ASSERT_TRUE(host.SendRequest(row.type)) << device.Diagnostics();
    // The device resets: its entry goes, and is back before the host's
    // second reconnect.
    EXPECT_TRUE(WaitUntil([&] { return !fs::exists(EntryPath(sandbox)); }, 3000)) << device.Diagnostics();
    platform::SystemClock().SleepMs(1000);
    const auto answers = host.SizeAnnounced(image, row.payload);
    EXPECT_EQ(answers.size(), 1 + (row.size + row.payload - 1) / row.payload);
    for (const auto& answer : answers) EXPECT_EQ(answer, std::optional<uint8_t>(kAck));
    const auto request = device.WaitForEvent("request", 0);
    ASSERT_TRUE(request);
    char type[8];
    std::snprintf(type, sizeof type, "0x%02x", static_cast<unsigned>(row.type));
    EXPECT_EQ(EventField(*request, "image_type"), type);
    EXPECT_EQ(EventField(*device.WaitForEvent("size", 0), "size"), std::to_string(row.size));
  } else {
    EXPECT_EQ(host.NamedImage(row.header, row.header_name, image, row.run), 1) << device.Diagnostics();
  }

  const std::string last = row.stored_as ? "stored" : "end";
  ASSERT_TRUE(device.WaitForEvent(last, kEventLimitMs)) << device.Diagnostics();
  ASSERT_TRUE(WaitUntil([&] { return EventNames(device).back() == "disconnected"; }, kEventLimitMs))
      << device.Diagnostics();
  EXPECT_EQ(EventNames(device), row.events) << device.Diagnostics();
  const std::string end = *device.WaitForEvent("end", 0);
  EXPECT_EQ(EventField(end, "condition"), row.run ? "0xfc" : "0xfb");
  if (!row.stored_as) {
    EXPECT_FALSE(fs::exists(store) && !fs::is_empty(store));
    return;
  }
  if (row.named) {
    const auto header = device.WaitForEvent("header", 0);
    EXPECT_EQ(EventField(*header, "name"), row.header_name);
    EXPECT_EQ(EventField(*header, "size"), std::to_string(row.size));
  }
  const std::string stored = *device.WaitForEvent("stored", 0);
  const fs::path path = store / row.stored_as;
  EXPECT_EQ(EventField(stored, "path"), path.string());
  EXPECT_EQ(EventField(stored, "size"), std::to_string(row.size));
  const Bytes on_device = ReadBytes(path);
  EXPECT_TRUE(on_device == image) << FirstDifference(on_device, image);
  const fs::path expected = sandbox.root() / "expected.bin";
  ASSERT_TRUE(WriteBytes(expected, image));
  EXPECT_EQ(EventField(stored, "sha256"), Sha256Sum(sandbox, expected.string()));
}

INSTANTIATE_TEST_SUITE_P(E2e, FramedDownload, ::testing::ValuesIn(kRows),
                         [](const auto& info) {
                           std::string name;
                           for (const char c : std::string(info.param.name)) {
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

// A device that stops answering: the host's read gives up after the link's
// time-out, and what it sent on is still stored.
TEST(FramedDevice, SilentDeviceLetsTheHostTimeOut) {
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const fs::path store = sandbox.root() / "store";
  E2eDevsim device(sandbox, {"usb-framed", "--usb", "framed", "--store", store.string(),
                             "--silent-after", "3"});
  ASSERT_TRUE(device.WaitReady()) << device.Diagnostics();
  FramedHost host(sandbox);
  const Bytes image = RandomBytes(100, 3);
  const uint64_t start = platform::SystemClock().NowMs();
  const auto answers = host.SizeAnnounced(image, 32);
  const uint64_t took = platform::SystemClock().NowMs() - start;
  const std::optional<uint8_t> ack = kAck;
  EXPECT_EQ(answers, (std::vector<std::optional<uint8_t>>{ack, ack, ack, ack, std::nullopt}));
  EXPECT_GE(took, UsbLink::kReadTimeoutMs);
  ASSERT_TRUE(device.WaitForEvent("stored", kEventLimitMs)) << device.Diagnostics();
  EXPECT_EQ(EventField(*device.WaitForEvent("silent", 0), "after_frames"), "3");
  EXPECT_EQ(ReadBytes(store / "image-1.bin"), image);
}

// A frame without its ETX: reported, nothing stored, and the next host is
// served afresh.
TEST(FramedDevice, MalformedFrameStoresNothing) {
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const fs::path store = sandbox.root() / "store";
  E2eDevsim device(sandbox, {"usb-framed", "--usb", "framed", "--store", store.string()});
  ASSERT_TRUE(device.WaitReady()) << device.Diagnostics();
  FramedHost host(sandbox);
  ASSERT_TRUE(host.ConnectWithRetries());
  host.Send(SizeFrame(32));
  EXPECT_EQ(host.Answer(), std::optional<uint8_t>(kAck));
  Bytes broken = DataFrames(RandomBytes(32, 4), 32);
  broken.back() = 0x00;
  host.Send(broken);
  host.link.Close();
  const auto error = device.WaitForEvent("error", kEventLimitMs);
  ASSERT_TRUE(error) << device.Diagnostics();
  EXPECT_EQ(EventField(*error, "reason"), "no ETX: 0x00");

  EXPECT_EQ(host.NamedImage(0x83, "root", RandomBytes(70, 5), true), 1);
  ASSERT_TRUE(device.WaitForEvent("stored", kEventLimitMs)) << device.Diagnostics();
  EXPECT_FALSE(fs::exists(store / "image-1.bin"));
  EXPECT_EQ(ReadBytes(store / "root"), RandomBytes(70, 5));
}

}  // namespace
}  // namespace flashkit::testing
