// A USB board's rounds against a scripted host on the virtual clock: the
// choice between XMODEM and the request, the start bytes, and what is stored.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "sim/board.h"
#include "tests/sim/sim_test_support.h"
#include "tests/support/xfer_peer.h"
#include "tests/support/xfer_row_name.h"
#include "tests/support/xfer_wire.h"

namespace flashkit::sim {
namespace {

namespace fs = std::filesystem;
using namespace flashkit::testing;
using flashkit::testing::PrintTo;

const Bytes kFile = Pattern(200);
const Bytes kRequest = sim::testing::RequestBytes(ImageType::kOther);
const Bytes kC{'C'};
const Bytes kAck{kAckByte};

// What the host sends before the board writes anything.
struct Arrival {
  uint64_t at_ms;
  Bytes bytes;
};

std::vector<Arrival> TenOnes(uint64_t from_ms) {
  std::vector<Arrival> script;
  for (uint64_t i = 0; i < 10; ++i) script.push_back({from_ms + 10 * i, {'1'}});
  return script;
}

std::vector<Arrival> Then(std::vector<Arrival> a, const std::vector<Arrival>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The sender's answer to each write of the board, in order.
const std::vector<XferReply> kXmodemSender = {
    {DataFrame(kSohByte, 1, Slice(kFile, 0, 128), Check::kCrc)},
    {DataFrame(kSohByte, 2, Slice(kFile, 128, 72), Check::kCrc)},
    {{kEotByte}},
    {{}},
};
const std::vector<XferReply> kYmodemSender = {
    {DataFrame(kSohByte, 0, HeaderField("fw.bin", "200"), Check::kCrc)},
    {{}},
    {DataFrame(kSohByte, 1, Slice(kFile, 0, 128), Check::kCrc)},
    {DataFrame(kSohByte, 2, Slice(kFile, 128, 72), Check::kCrc)},
    {{kEotByte}},
    {{}},
    {DataFrame(kSohByte, 0, Bytes(128, 0), Check::kCrc)},
    {{}},
};
const std::vector<Bytes> kXmodemWrites = {kC, kAck, kAck, kAck};
const std::vector<Bytes> kYmodemWrites = {kC, kAck, kC, kAck, kAck, kAck, kC, kAck};

struct UsbRow {
  const char* name;
  std::vector<Arrival> opening;
  std::vector<XferReply> sender;
  int files_before;  // xmodem-<n>.bin already in the store
  uint64_t first_write_ms;
  std::vector<Bytes> writes;
  std::vector<std::string> events;
  const char* stored_as;
  const char* protocol;
  Bytes stored;
};

const Bytes kXmodemStored = Join({kFile, Bytes(56, 0x1A)});

const UsbRow kRows[] = {
    {"silent host gets XMODEM-CRC at 300 ms", {}, kXmodemSender, 0, 300, kXmodemWrites,
     {"stored"}, "xmodem-1.bin", "xmodem", kXmodemStored},
    {"XMODEM of an empty file: the EOT only", {}, {{{kEotByte}}, {{}}}, 0, 300, {kC, kAck},
     {"stored"}, "xmodem-1.bin", "xmodem", {}},
    {"XMODEM keeps the files stored before", {}, kXmodemSender, 2, 300, kXmodemWrites,
     {"stored"}, "xmodem-3.bin", "xmodem", kXmodemStored},
    {"request at 300 ms is still a YMODEM host", Then({{300, kRequest}}, TenOnes(1300)), kYmodemSender,
     0, 1420, kYmodemWrites, {"request", "prompt", "header", "stored"}, "fw.bin", "ymodem", kFile},
    {"request and start bytes in one burst", {{5, Join({kRequest, Bytes(10, '1')})}},
     kYmodemSender, 0, 35, kYmodemWrites, {"request", "prompt", "header", "stored"}, "fw.bin",
     "ymodem", kFile},
    {"wrong start byte, then the host asks again",
     Then({{10, kRequest}, {20, {'1', '1', '1', 'x'}}, {100, kRequest}}, TenOnes(200)), kYmodemSender, 0,
     320, kYmodemWrites, {"request", "prompt", "error", "request", "prompt", "header", "stored"},
     "fw.bin", "ymodem", kFile},
    {"a wrong byte that starts the next request", Then({{10, Join({kRequest, {'1'}, kRequest})}}, TenOnes(100)),
     kYmodemSender, 0, 220, kYmodemWrites,
     {"request", "prompt", "error", "request", "prompt", "header", "stored"}, "fw.bin", "ymodem",
     kFile},
};

std::string EventName(const std::string& line) {
  const size_t at = line.find(R"("event":")") + 9;
  return line.substr(at, line.find('"', at) - at);
}

class UsbBoardRound : public ::testing::TestWithParam<UsbRow> {};

TEST_P(UsbBoardRound, StoresWhatTheHostSent) {
  const UsbRow& row = GetParam();
  const fs::path store =
      fs::temp_directory_path() / ("devsim-usb-" + std::to_string(std::random_device{}()));
  fs::create_directories(store);
  for (int n = 1; n <= row.files_before; ++n) {
    std::ofstream(store / ("xmodem-" + std::to_string(n) + ".bin")) << "earlier";
  }
  VirtualClock clock;
  FakePort port(clock);
  for (const Arrival& a : row.opening) port.Arrive(a.bytes, a.at_ms);
  XferPeer peer(port);
  peer.replies.assign(row.sender.begin(), row.sender.end());
  sim::testing::CapturedEvents events;
  const Crc16Table crc;
  BoardSettings settings;
  settings.link = BoardLink::kUsb;
  settings.once = true;
  settings.store_dir = store;
  Board board(port, clock, events.log(), crc, settings, [&clock] { return clock.NowMs() > 60000; });

  EXPECT_TRUE(board.Run());
  ASSERT_FALSE(peer.write_times.empty());
  EXPECT_EQ(peer.write_times.front(), row.first_write_ms);
  EXPECT_TRUE(SameFrames(port.writes, row.writes));

  std::vector<std::string> seen;
  std::string stored_line;
  for (const std::string& line : events.Lines()) {
    seen.push_back(EventName(line));
    if (seen.back() == "stored") stored_line = line;
  }
  EXPECT_EQ(seen, row.events);
  EXPECT_NE(stored_line.find(std::string(R"("name":")") + row.stored_as + R"(","protocol":")" +
                             row.protocol + "\""),
            std::string::npos)
      << stored_line;
  std::ifstream file(store / row.stored_as, std::ios::binary);
  EXPECT_EQ(Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>()),
            row.stored);
  if (row.files_before > 0) {
    std::string kept;
    std::getline(std::ifstream(store / "xmodem-1.bin"), kept);
    EXPECT_EQ(kept, "earlier");
  }
  fs::remove_all(store);
}

INSTANTIATE_TEST_SUITE_P(Rounds, UsbBoardRound, ::testing::ValuesIn(kRows), XferRowName<UsbRow>);

// The wrong start byte is reported with what it was.
TEST(UsbBoardRound, WrongStartByteReported) {
  VirtualClock clock;
  FakePort port(clock);
  port.Arrive(Join({kRequest, {'1', '1', 'x'}}), 10);
  sim::testing::CapturedEvents events;
  const Crc16Table crc;
  BoardSettings settings;
  settings.link = BoardLink::kUsb;
  Board board(port, clock, events.log(), crc, settings, [] { return false; });
  EXPECT_FALSE(board.ServeOnce());
  ASSERT_EQ(events.Lines().size(), 3u);
  EXPECT_EQ(events.Lines()[2],
            R"({"t_ms":0.000,"event":"error","status":-301,"stage":"prompt","byte":"0x78"})");
  EXPECT_TRUE(port.written.empty());
}

}  // namespace
}  // namespace flashkit::sim
