// The framed download's device against a scripted host on the virtual clock:
// the answers on the wire, the events, and what is stored.
#include "sim/framed_device.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "common/sha256.h"
#include "ports/status.h"
#include "tests/sim/framed_frames.h"
#include "tests/sim/sim_test_support.h"
#include "tests/support/fake_port.h"
#include "tests/support/xfer_wire.h"

namespace flashkit::sim {
namespace {

namespace fs = std::filesystem;
using namespace flashkit::sim::testing;
using flashkit::testing::FakePort;
using flashkit::testing::Slice;
using flashkit::testing::VirtualClock;

// A host that may close its pipes once everything it sent has been read.
class HostPort : public FakePort {
 public:
  using FakePort::FakePort;
  bool hang_up = false;
  int32_t Read(uint8_t* buffer, uint32_t length, uint32_t timeout_ms, bool use_usb) override {
    if (hang_up && Pending() == 0) return status::kPortReadFailed;
    return FakePort::Read(buffer, length, timeout_ms, use_usb);
  }
};

const Bytes k100 = PatternImage(100);
const Bytes k121 = PatternImage(121);
const Bytes k120 = PatternImage(120);
const Bytes k64 = PatternImage(64);

struct DeviceRow {
  const char* name;
  Bytes host_sends;
  bool hang_up;  // after it has sent everything
  std::optional<uint32_t> silent_after;
  ConnectionEnd end;
  size_t answers;  // 0x06 bytes the device writes
  std::vector<std::string> events;
  std::vector<std::string> fields;  // parts the event lines must hold
  const char* stored_as;            // null: nothing stored
  Bytes stored;
};

const DeviceRow kRows[] = {
    {"size flow, 100 bytes in 32-byte frames", Cat({SizeFrame(100), DataFrames(k100, 32), EndFrame(true)}),
     false, std::nullopt, ConnectionEnd::kStopped, 6, {"size", "frames", "end", "stored"},
     {R"("event":"size","size":100)", R"("frames":4,"payload_bytes":128,"answered":4)",
      R"("condition":"0xfc","name":"run","flow":"size")", R"("name":"image-1.bin","flow":"size","size":100)"},
     "image-1.bin", k100},
    {"size flow, empty image: size frame, then the end frame", Cat({SizeFrame(0), EndFrame(true)}),
     true, std::nullopt, ConnectionEnd::kHostGone, 2, {"size", "frames", "end", "stored"},
     {R"("frames":0,"payload_bytes":0)", R"("size":0,"path")"}, "image-1.bin", {}},
    {"size flow, 60-byte frames, image a whole number of them",
     Cat({SizeFrame(120), DataFrames(k120, 60), EndFrame(true)}), true, std::nullopt,
     ConnectionEnd::kHostGone, 4, {"size", "frames", "end", "stored"}, {R"("frames":2,"payload_bytes":120)"},
     "image-1.bin", k120},
    {"named vivi, 121 bytes in three frames, only the end answered",
     Cat({HeaderFrame(0x81, "vivi", 121), DataFrames(k121, 60), EndFrame(true)}), true, std::nullopt,
     ConnectionEnd::kHostGone, 1, {"header", "frames", "end", "stored"},
     {R"("type":"0x81","name":"vivi","size":121)", R"("frames":3,"payload_bytes":180,"answered":0)",
      R"("flow":"named")"},
     "vivi", k121},
    {"zImage comes as kernel", Cat({HeaderFrame(0x82, "kernel", 120), DataFrames(k120, 60), EndFrame(true)}),
     true, std::nullopt, ConnectionEnd::kHostGone, 1, {"header", "frames", "end", "stored"},
     {R"("type":"0x82","name":"kernel","size":120)"}, "kernel", k120},
    {"root, then the end frame of FINISH", Cat({HeaderFrame(0x83, "root", 64), DataFrames(k64, 60), EndFrame(false)}),
     true, std::nullopt, ConnectionEnd::kHostGone, 1, {"header", "frames", "end", "stored"},
     {R"("condition":"0xfb","name":"finish","flow":"named")"}, "root", k64},
    {"FINISH: the end frame alone, nothing stored", EndFrame(false), true, std::nullopt,
     ConnectionEnd::kHostGone, 1, {"end"}, {R"("condition":"0xfb","name":"finish","flow":"none")"},
     nullptr, {}},
    {"request packet: the device resets", RequestBytes(ImageType::kIap), false, std::nullopt,
     ConnectionEnd::kReset, 0, {"request"}, {R"("image_type":"0x80","image":"iap","crc_ok":true)"},
     nullptr, {}},
    {"request with a bad CRC is ignored", WithBadCrc(RequestBytes(ImageType::kOther)), false,
     std::nullopt, ConnectionEnd::kStopped, 0, {"request", "error"},
     {R"("crc_ok":false)", R"("stage":"request","reason":"CRC does not match")"}, nullptr, {}},
    {"silent after 2 data frames: still stored",
     Cat({SizeFrame(100), DataFrames(k100, 32), EndFrame(true)}), true, 2u, ConnectionEnd::kHostGone, 3,
     {"size", "silent", "frames", "end", "stored"}, {R"("after_frames":2)", R"("answered":2)"},
     "image-1.bin", k100},
    {"no STX", Cat({Bytes{0x55}, SizeFrame(100)}), true, std::nullopt, ConnectionEnd::kHostGone, 0,
     {"error"}, {R"("stage":"frame","reason":"no STX: 0x55")"}, nullptr, {}},
    {"no ETX after a data frame", Cat({SizeFrame(32), Bytes{0x02, 0x21, 0xFE}, Bytes(32, 0x41), Bytes{0x04}}),
     true, std::nullopt, ConnectionEnd::kHostGone, 1, {"size", "error"},
     {R"("reason":"no ETX: 0x04","frames":0)"}, nullptr, {}},
    {"data frame LEN past 61", Cat({SizeFrame(100), Frame(0xFE, Bytes(61, 1))}), true, std::nullopt,
     ConnectionEnd::kHostGone, 1, {"size", "error"}, {R"("reason":"LEN 62 out of range for frame type 0xfe")"},
     nullptr, {}},
    {"unknown frame type", Frame(0x10, Bytes(4, 0)), true, std::nullopt, ConnectionEnd::kHostGone, 0,
     {"error"}, {R"("reason":"unknown frame type 0x10")"}, nullptr, {}},
    {"header naming another image", HeaderFrame(0x81, "root", 121),
     true, std::nullopt, ConnectionEnd::kHostGone, 0, {"error"}, {R"("reason":"header does not name vivi")"},
     nullptr, {}},
    {"data beyond the announced size", Cat({SizeFrame(32), DataFrames(k64, 32), EndFrame(true)}), true,
     std::nullopt, ConnectionEnd::kHostGone, 2, {"size", "error"},
     {R"("reason":"data beyond the announced 32 bytes","frames":1)"}, nullptr, {}},
    {"end frame before the whole image", Cat({SizeFrame(100), DataFrames(Slice(k100, 0, 64), 32), EndFrame(true)}),
     true, std::nullopt, ConnectionEnd::kHostGone, 3, {"size", "frames", "end", "error"},
     {R"("reason":"ended 36 bytes short of the announced size","frames":2)"}, nullptr, {}},
    {"data frame without a size or header", DataFrames(k64, 60), true, std::nullopt,
     ConnectionEnd::kHostGone, 0, {"error"}, {R"("reason":"data frame before a size or header frame")"},
     nullptr, {}},
    {"host gone in the middle of a frame",
     Cat({HeaderFrame(0x81, "vivi", 121), Slice(DataFrames(k121, 60), 0, 100)}), true, std::nullopt,
     ConnectionEnd::kHostGone, 0, {"header", "error"},
     {R"("stage":"download","reason":"connection ended before the end frame","frames":1)"}, nullptr, {}},
    {"frame that stops for a second", Cat({SizeFrame(100), Bytes{0x02, 0x21, 0xFE, 0x00}}), false,
     std::nullopt, ConnectionEnd::kStopped, 1, {"size", "error"},
     {R"("reason":"frame stopped after 4 bytes")"}, nullptr, {}},
    {"host silent inside a download", SizeFrame(100), false, std::nullopt, ConnectionEnd::kStopped, 1,
     {"size", "error"}, {R"("stage":"download","reason":"no frame for 30000 ms","frames":0)"}, nullptr, {}},
    {"request inside a download", Cat({SizeFrame(100), RequestBytes(ImageType::kOther)}), true,
     std::nullopt, ConnectionEnd::kHostGone, 1, {"size", "request", "error"},
     {R"("reason":"request in the middle of a download")"}, nullptr, {}},
};

std::string EventName(const std::string& line) {
  const size_t at = line.find(R"("event":")") + 9;
  return line.substr(at, line.find('"', at) - at);
}

class FramedDeviceRound : public ::testing::TestWithParam<DeviceRow> {};

TEST_P(FramedDeviceRound, AnswersReportsAndStores) {
  const DeviceRow& row = GetParam();
  const fs::path store =
      fs::temp_directory_path() / ("devsim-framed-" + std::to_string(std::random_device{}()));
  VirtualClock clock;
  HostPort port(clock);
  port.Arrive(row.host_sends, 10);
  port.hang_up = row.hang_up;
  CapturedEvents events;
  FramedDevice device(clock, events.log(), {store, row.silent_after});

  EXPECT_EQ(device.Serve(port, [&clock] { return clock.NowMs() > 100000; }), row.end);
  EXPECT_EQ(port.written, Bytes(row.answers, kFrameAnswer));

  std::vector<std::string> seen;
  std::string all;
  for (const std::string& line : events.Lines()) {
    seen.push_back(EventName(line));
    all += line + "\n";
  }
  EXPECT_EQ(seen, row.events);
  for (const std::string& part : row.fields) EXPECT_NE(all.find(part), std::string::npos) << part << "\n" << all;

  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(store, ec)) files.push_back(e.path().filename());
  if (row.stored_as) {
    EXPECT_EQ(files, std::vector<std::string>{row.stored_as});
    std::ifstream file(store / row.stored_as, std::ios::binary);
    EXPECT_EQ(Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>()),
              row.stored);
    EXPECT_NE(all.find(R"("sha256":")" + Sha256::Hex(row.stored) + "\""), std::string::npos) << all;
  } else {
    EXPECT_TRUE(files.empty());
  }
  fs::remove_all(store);
}

INSTANTIATE_TEST_SUITE_P(Rounds, FramedDeviceRound, ::testing::ValuesIn(kRows),
                         [](const auto& info) {
                           std::string name;
                           for (const char c : std::string(info.param.name)) {
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

// One connection after the other on the same device: size-announced images
// are numbered on, named ones replace their earlier file.
TEST(FramedDevice, LaterDownloadsKeepOrReplace) {
  const fs::path store =
      fs::temp_directory_path() / ("devsim-framed-" + std::to_string(std::random_device{}()));
  VirtualClock clock;
  CapturedEvents events;
  FramedDevice device(clock, events.log(), {store, std::nullopt});
  const Bytes second = PatternImage(30);
  for (const Bytes& sent :
       {Cat({SizeFrame(100), DataFrames(k100, 32), EndFrame(true)}),
        Cat({SizeFrame(30), DataFrames(second, 60), EndFrame(true)}),
        Cat({HeaderFrame(0x81, "vivi", 121), DataFrames(k121, 60), EndFrame(true)}),
        Cat({HeaderFrame(0x81, "vivi", 64), DataFrames(k64, 60), EndFrame(true)})}) {
    HostPort port(clock);
    port.Arrive(sent, 10);
    port.hang_up = true;
    EXPECT_EQ(device.Serve(port, [] { return false; }), ConnectionEnd::kHostGone);
  }
  const auto read = [&](const char* name) {
    std::ifstream file(store / name, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  };
  EXPECT_EQ(read("image-1.bin"), k100);
  EXPECT_EQ(read("image-2.bin"), second);
  EXPECT_EQ(read("vivi"), k64);
  fs::remove_all(store);
}

}  // namespace
}  // namespace flashkit::sim
