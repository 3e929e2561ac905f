// The simulated USB device in a real temporary namespace: its entry appears
// whole and goes when unplugged, bytes cross its pipes through the line
// pump, and its hosts come and go one after the other. Real time, short.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/clock.h"
#include "platform/device_system.h"
#include "platform/poller.h"
#include "ports/port.h"
#include "sim/line_pump.h"
#include "sim/sim_port.h"
#include "sim/usb_end.h"
#include "sim/usb_entry.h"
#include "sim/usb_host_loop.h"
#include "tests/platform/temp_namespace.h"
#include "tests/support/e2e_sandbox.h"

namespace flashkit::sim {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using flashkit::testing::TempNamespace;

fs::path ClassDir(const TempNamespace& ns) {
  return ns.root() / "usb" / kBulkDeviceClass.text;
}

std::vector<std::string> Present() {
  return platform::RealSystem().ListInterfaces(kBulkDeviceClass.text).value_or(
      std::vector<std::string>{"cannot list"});
}

// What lies in <root>/usb besides the class folder.
std::vector<std::string> Staged(const TempNamespace& ns) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(ns.root() / "usb", ec)) {
    if (e.path().filename() != kBulkDeviceClass.text) names.push_back(e.path().filename());
  }
  return names;
}

enum class InTheWay { kNothing, kPresentDevice, kFolder, kLeftoverStaging };

struct EntryCase {
  const char* name;
  InTheWay in_the_way;
  bool created;
};

class UsbEntryPlacement : public ::testing::TestWithParam<EntryCase> {};

TEST_P(UsbEntryPlacement, WholeOrNotAtAll) {
  TempNamespace ns;
  const fs::path path = ClassDir(ns) / "dev1";
  std::string error;
  std::unique_ptr<UsbEntry> other;
  switch (GetParam().in_the_way) {
    case InTheWay::kNothing:
      break;
    case InTheWay::kPresentDevice:
      other = UsbEntry::Create("dev1", &error);
      ASSERT_TRUE(other) << error;
      break;
    case InTheWay::kFolder:
      fs::create_directories(path);
      std::ofstream(path / "keep") << "keep me";
      break;
    case InTheWay::kLeftoverStaging:
      const fs::path stale =
          ns.root() / "usb" / (".staging-" + fs::read_symlink("/proc/self").string() + "-dev1");
      fs::create_directories(stale);
      std::ofstream(stale / "PIPE00") << "stale";
      break;
  }
  const std::vector<std::string> before = Present();

  auto entry = UsbEntry::Create("dev1", &error);
  ASSERT_EQ(entry != nullptr, GetParam().created) << error;
  EXPECT_TRUE(Staged(ns).empty());
  if (!entry) {
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Present(), before);
    return;
  }
  EXPECT_EQ(entry->path(), path.string());
  EXPECT_TRUE(fs::is_socket(path / "PIPE00"));
  EXPECT_TRUE(fs::is_socket(path / "PIPE01"));
  EXPECT_EQ(Present(), std::vector<std::string>{path.string()});
  entry.reset();
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(Present().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Namespace, UsbEntryPlacement,
    ::testing::Values(EntryCase{"FreshNamespace", InTheWay::kNothing, true},
                      EntryCase{"NameOfAPresentDeviceRefused", InTheWay::kPresentDevice, false},
                      EntryCase{"FolderOfThatNameRefused", InTheWay::kFolder, false},
                      EntryCase{"LeftoverStagingReplaced", InTheWay::kLeftoverStaging, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The host's side of a device: its two pipes opened the way linkxfer does.
struct Host {
  std::unique_ptr<platform::Device> pipe00;  // reads from the device
  std::unique_ptr<platform::Device> pipe01;  // writes to the device
};

Host Connect(const std::string& path) {
  Host host;
  host.pipe00 = platform::RealSystem().OpenPipe(path + "\\PIPE00").device;
  host.pipe01 = platform::RealSystem().OpenPipe(path + "\\PIPE01").device;
  return host;
}

// Reads until `count` bytes came, the device failed, or `limit_ms` passed.
Bytes ReadFor(platform::Device& pipe, size_t count, uint32_t limit_ms, bool* failed = nullptr) {
  platform::Clock& clock = platform::SystemClock();
  const uint64_t end = clock.NowMs() + limit_ms;
  Bytes got;
  while (got.size() < count && clock.NowMs() < end) {
    uint8_t buffer[512];
    const platform::IoResult r = pipe.Read(buffer, sizeof buffer);
    if (!r.ok()) {
      if (failed) *failed = true;
      break;
    }
    got.insert(got.end(), buffer, buffer + r.count);
    if (r.count == 0) clock.SleepUntilInput(pipe, 20);
  }
  return got;
}

std::unique_ptr<platform::Device> AcceptWithin(platform::PipeListener& listener, uint32_t limit_ms) {
  for (uint32_t waited = 0; waited < limit_ms; waited += 5) {
    platform::SysStatus status;
    if (auto accepted = listener.Accept(&status)) return accepted;
    platform::SystemClock().SleepMs(5);
  }
  return nullptr;
}

TEST(UsbPipes, BytesCrossBothWaysAndTheHostClosingEndsTheLine) {
  TempNamespace ns;
  std::string error;
  auto entry = UsbEntry::Create("dev1", &error);
  ASSERT_TRUE(entry) << error;
  Host host = Connect(entry->path());
  ASSERT_TRUE(host.pipe00 && host.pipe01);
  auto pipe00 = AcceptWithin(entry->pipe00(), 2000);
  auto pipe01 = AcceptWithin(entry->pipe01(), 2000);
  ASSERT_TRUE(pipe00 && pipe01);

  UsbEnd end("usb:dev1", std::move(pipe01), std::move(pipe00));
  auto board = SimPort::Create("board");
  ASSERT_TRUE(board);
  std::atomic<bool> failed{false};
  LinePump pump(end, *board, {0, 10}, FaultRates{}, 1, [&](const std::string&) { failed = true; });
  ASSERT_TRUE(pump.Start(&error)) << error;

  Bytes pattern(200000);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i * 7 + i / 256);
  std::thread writer([&] {
    size_t done = 0;
    while (done < pattern.size()) {
      const platform::IoResult r = host.pipe01->Write(pattern.data() + done, pattern.size() - done);
      if (!r.ok()) break;
      done += r.count;
    }
  });
  Bytes got;
  while (got.size() < pattern.size()) {
    uint8_t buffer[4096];
    const int32_t n = board->Read(buffer, sizeof buffer, 2000, false);
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  writer.join();
  EXPECT_EQ(got, pattern);

  const Bytes reply = {'C', 0x06, 0x00, 0xFF};
  ASSERT_EQ(board->Write(reply.data(), reply.size(), 1000, false), 4);
  EXPECT_EQ(ReadFor(*host.pipe00, reply.size(), 2000), reply);
  EXPECT_FALSE(failed);

  host.pipe00->Close();
  host.pipe01->Close();
  EXPECT_TRUE(flashkit::testing::WaitUntil([&] { return failed.load(); }, 2000));
  const auto stats = pump.Stats();
  EXPECT_EQ(stats[0].from, "usb:dev1");
  EXPECT_EQ(stats[0].counts.delivered, pattern.size());
  EXPECT_EQ(stats[1].counts.delivered, reply.size());
}

std::vector<std::string> EventNames(const std::string& log) {
  std::vector<std::string> names;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find(R"("event":")") + 9;
    names.push_back(line.substr(at, line.find('"', at) - at));
  }
  return names;
}

// A host that opens the pipes and stays silent is asked for XMODEM. One
// that closes its pipes mid-round frees the device for the next at once,
// not after the receiver's block time-out; stopping unplugs the device.
TEST(UsbHostLoop, HostsOneAfterTheOtherThenUnplugged) {
  TempNamespace ns;
  std::string error;
  auto entry = UsbEntry::Create("dev1", &error);
  ASSERT_TRUE(entry) << error;
  std::ostringstream log;  // written on the loop's thread; read once it has ended
  EventLog events(log, platform::MonotonicNs);
  BoardSettings settings;
  settings.link = BoardLink::kUsb;
  settings.store_dir = ns.root() / "store";
  std::atomic<bool> ended{false};
  UsbHostLoop loop(*entry, {{0, 10}, {}, 1}, settings, events,
                   [&](const std::string&) { ended = true; });
  ASSERT_TRUE(loop.Start(&error)) << error;

  Host first = Connect(entry->path());
  ASSERT_TRUE(first.pipe00 && first.pipe01);
  EXPECT_EQ(ReadFor(*first.pipe00, 1, 3000), Bytes{'C'});
  first.pipe00->Close();
  first.pipe01->Close();

  Host second = Connect(entry->path());
  ASSERT_TRUE(second.pipe00 && second.pipe01);
  EXPECT_EQ(ReadFor(*second.pipe00, 1, 3000), Bytes{'C'});

  loop.Stop();
  entry.reset();
  bool failed = false;
  EXPECT_TRUE(ReadFor(*second.pipe00, 1, 1000, &failed).empty());
  EXPECT_TRUE(failed) << "the host still reads from an unplugged device";
  EXPECT_FALSE(ended);
  EXPECT_EQ(EventNames(log.str()),
            (std::vector<std::string>{"connected", "disconnected", "connected", "disconnected"}));
  const auto stats = loop.Stats();
  EXPECT_EQ(stats[1].from, "board");
  EXPECT_EQ(stats[1].counts.delivered, 2u);
}

}  // namespace
}  // namespace flashkit::sim
