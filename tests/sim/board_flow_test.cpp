// The whole board against the real YMODEM sender, over two in-memory ports
// joined by the line pump. Real time, but short: no time-out is ever reached.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "common/sha256.h"
#include "platform/clock.h"
#include "platform/poller.h"
#include "ports/status.h"
#include "protocol/xfer_session.h"
#include "sim/board.h"
#include "sim/boot_log.h"
#include "sim/line_pump.h"
#include "sim/sim_port.h"
#include "tests/sim/sim_test_support.h"

namespace flashkit::sim {
namespace {

using testing::Bytes;
namespace fs = std::filesystem;

// Hands out an image in the sender's chunks.
class ImageSource : public TransferSource {
 public:
  explicit ImageSource(const Bytes& data) : data_(data) {}
  int32_t ReadChunk(uint8_t* buffer, uint32_t capacity) override {
    const size_t n = std::min<size_t>(capacity, data_.size() - offset_);
    std::copy_n(data_.begin() + static_cast<long>(offset_), n, buffer);
    offset_ += n;
    return static_cast<int32_t>(n);
  }

 private:
  const Bytes& data_;
  size_t offset_ = 0;
};

class NoText : public TextOut {
 public:
  void Print(std::string_view) override {}
};

// The host's end. Its request step writes the request and prompts with "1"
// every 10 ms until a 'C' comes (at most two seconds), as the console tool
// does; without a request it goes straight on, as a plain YMODEM sender.
class HostPort : public SimPort {
 public:
  static std::unique_ptr<HostPort> Create(Bytes request) {
    auto event = platform::CreateEvent();
    return event ? std::unique_ptr<HostPort>(new HostPort(std::move(request), std::move(event)))
                 : nullptr;
  }
  int32_t SendRequest(const char*, bool) override {
    if (request_.empty()) return 1;
    Write(request_.data(), static_cast<uint32_t>(request_.size()), 1000, false);
    for (int cycle = 0; cycle < 200; ++cycle) {
      const uint8_t prompt = '1';
      Write(&prompt, 1, 1000, false);
      uint8_t answer = 0;
      while (Read(&answer, 1, 10, false) == 1) {
        if (answer == 'C') return 1;
      }
    }
    return status::kSourceFailed;
  }

 private:
  HostPort(Bytes request, std::unique_ptr<platform::Event> event)
      : SimPort("host", std::move(event)), request_(std::move(request)) {}
  Bytes request_;
};

struct FlowCase {
  const char* name;
  std::string file_name;  // as the host names it in block 0
  size_t size;
  Bytes request;          // empty: the board starts without one
  LineRate rate;
  std::vector<std::string> events;  // in order
};

class BoardFlow : public ::testing::TestWithParam<FlowCase> {};

TEST_P(BoardFlow, ReceivesStoresAndBoots) {
  const FlowCase& c = GetParam();
  const fs::path store = fs::temp_directory_path() /
                         ("devsim-flow-" + std::to_string(std::random_device{}()));
  Bytes image(c.size);
  std::mt19937 fill(7);
  for (uint8_t& b : image) b = static_cast<uint8_t>(fill());

  auto host = HostPort::Create(c.request);
  auto board_port = SimPort::Create("board");
  ASSERT_TRUE(host && board_port);
  LinePump pump(*host, *board_port, c.rate, FaultRates{}, 1);
  std::string error;
  ASSERT_TRUE(pump.Start(&error)) << error;

  std::ostringstream log_text;
  EventLog events(log_text, platform::MonotonicNs);
  const Crc16Table crc;
  BoardSettings settings;
  settings.no_request = c.request.empty();
  settings.boot_lines = 3;
  settings.store_dir = store;
  std::atomic<bool> stop{false};
  Board board(*board_port, platform::SystemClock(), events, crc, settings, [&] { return stop.load(); });
  bool stored = false;
  std::thread device([&] { stored = board.ServeOnce(); });

  NoText out;
  XferSession sender(*host, out);
  ImageSource source(image);
  EXPECT_EQ(sender.SendYmodem(c.file_name.c_str(), static_cast<uint32_t>(image.size()), source,
                              30000, false),
            0);

  // The boot log follows, ending in its fixed last line.
  std::string boot;
  for (int i = 0; i < 100 && boot.find(kBootCompleteLine) == std::string::npos; ++i) {
    uint8_t buffer[256];
    const int32_t n = host->Read(buffer, sizeof buffer, 50, false);
    if (n > 0) boot.append(buffer, buffer + n);
  }
  stop = true;
  board_port->Shutdown();
  device.join();
  pump.Stop();

  EXPECT_TRUE(stored);
  const std::string stored_name = fs::path(c.file_name).filename().string();
  EXPECT_TRUE(boot.starts_with("devsim board: booting image " + c.file_name + " (" +
                              std::to_string(c.size) + " bytes)\r\n"))
      << boot;
  EXPECT_NE(boot.find("devsim board: image sha256 " + Sha256::Hex(image) + "\r\n"), std::string::npos);
  EXPECT_TRUE(boot.ends_with(kBootCompleteLine));

  std::ifstream file(store / stored_name, std::ios::binary);
  const Bytes on_disk((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(on_disk, image);

  std::vector<std::string> seen;
  std::string stored_line;
  std::istringstream lines(log_text.str());
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find(R"("event":")") + 9;
    seen.push_back(line.substr(at, line.find('"', at) - at));
    if (seen.back() == "stored") stored_line = line;
  }
  EXPECT_EQ(seen, c.events);
  EXPECT_NE(stored_line.find(R"("sha256":")" + Sha256::Hex(image) + "\""), std::string::npos);
  EXPECT_NE(stored_line.find(R"("size":)" + std::to_string(c.size) + ","), std::string::npos);
  fs::remove_all(store);
}

const std::vector<std::string> kWithRequest = {"request", "prompt", "header", "stored", "boot-done"};
const std::vector<std::string> kWithoutRequest = {"header", "stored", "boot-done"};

INSTANTIATE_TEST_SUITE_P(
    Downloads, BoardFlow,
    ::testing::Values(
        FlowCase{"SmallImage", "fw.bin", 300, testing::RequestBytes(ImageType::kOther), {0, 10},
                 kWithRequest},
        FlowCase{"WholeBlocksIap", "iap_app.bin", 2048, testing::RequestBytes(ImageType::kIap),
                 {0, 10}, kWithRequest},
        FlowCase{"TaxiOneByteOver", "zqt410_taxi_sk.bin", 1025, {0x02, 0x05, 0xFF, 0x03, 0xFB},
                 {0, 10}, kWithRequest},
        FlowCase{"StoredUnderLastComponent", "c:/images/fw2.bin", 700,
                 testing::RequestBytes(ImageType::kOther), {0, 10}, kWithRequest},
        FlowCase{"PacedLine", "paced.bin", 3000, testing::RequestBytes(ImageType::kOther),
                 {921600, 10}, kWithRequest},
        FlowCase{"NoRequest", "plain.bin", 1500, {}, {0, 10}, kWithoutRequest}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::sim
