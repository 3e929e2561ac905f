// The wire over real pseudo-terminals in a temporary namespace. Real time,
// functional only: bytes arrive whole and in order, links come and go. The
// rate is measured by bench/pacing_check, not here.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "platform/clock.h"
#include "platform/device_system.h"
#include "sim/com_link.h"
#include "sim/line_pump.h"
#include "sim/pty_end.h"

namespace flashkit::sim {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class TempNamespace {
 public:
  TempNamespace()
      : root_(fs::temp_directory_path() /
              ("devsim-ns-" + std::to_string(std::random_device{}())) / "dev") {
    setenv("FLASHKIT_DEVROOT", root_.c_str(), 1);
  }
  ~TempNamespace() { fs::remove_all(root_.parent_path()); }
  const fs::path& root() const { return root_; }

 private:
  fs::path root_;
};

// Reads until `count` bytes came or `limit_ms` passed.
Bytes ReadFor(platform::Device& line, size_t count, uint32_t limit_ms) {
  platform::Clock& clock = platform::SystemClock();
  const uint64_t end = clock.NowMs() + limit_ms;
  Bytes got;
  while (got.size() < count && clock.NowMs() < end) {
    uint8_t buffer[512];
    const platform::IoResult r = line.Read(buffer, sizeof buffer);
    if (!r.ok()) break;
    got.insert(got.end(), buffer, buffer + r.count);
    if (r.count == 0) clock.SleepUntilInput(line, 20);
  }
  return got;
}

TEST(PtyWire, BytesCrossWholeAndInOrderThenLinksGo) {
  TempNamespace ns;
  Bytes pattern(4000);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i * 7 + i / 256);
  {
    std::string error;
    auto a = PtyEnd::Open("com7", &error);
    auto b = PtyEnd::Open("com8", &error);
    ASSERT_TRUE(a && b) << error;
    auto link_a = ComLink::Create(7, a->slave_path(), &error);
    auto link_b = ComLink::Create(8, b->slave_path(), &error);
    ASSERT_TRUE(link_a && link_b) << error;
    EXPECT_EQ(link_a->path(), (ns.root() / "com7").string());
    EXPECT_EQ(fs::read_symlink(link_a->path()), a->slave_path());

    LinePump pump(*a, *b, {115200, 10}, FaultRates{}, 1);
    ASSERT_TRUE(pump.Start(&error)) << error;
    auto line_a = platform::RealSystem().OpenSerial("\\\\.\\com7");
    auto line_b = platform::RealSystem().OpenSerial("COM8");
    ASSERT_TRUE(line_a.device && line_b.device);

    ASSERT_EQ(line_a.device->Write(pattern.data(), pattern.size()).count, pattern.size());
    EXPECT_EQ(ReadFor(*line_b.device, pattern.size(), 5000), pattern);

    const Bytes reply = {'A', 'C', 'K', 0x00, 0xFF};
    ASSERT_EQ(line_b.device->Write(reply.data(), reply.size()).count, reply.size());
    EXPECT_EQ(ReadFor(*line_a.device, reply.size(), 2000), reply);

    EXPECT_TRUE(pump.WaitIdle(1000));
    pump.Stop();
    const auto stats = pump.Stats();
    ASSERT_EQ(stats.size(), 2u);
    EXPECT_EQ(stats[0].from, "com7");
    EXPECT_EQ(stats[0].counts.delivered, pattern.size());
    EXPECT_EQ(stats[1].counts.delivered, reply.size());
    // The wire's account of when bytes came out spans their time on the line.
    const double line_ns = (pattern.size() - 1) * 10 * 1e9 / 115200;
    const DeliveryTimes& times = stats[0].times;
    ASSERT_GT(times.first_ns, 0u);
    EXPECT_GE(static_cast<double>(times.last_ns - times.first_ns), 0.95 * line_ns);
    EXPECT_LE(static_cast<double>(times.last_ns - times.first_ns), line_ns + 250e6);
    EXPECT_GT(stats[1].times.first_ns, times.last_ns);
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(ns.root() / "com7")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(ns.root() / "com8")));
}

// A program that stops reading its port must not hold up the other
// direction, and what it has not read yet is still there when it reads again.
TEST(PtyWire, ALineNobodyReadsHoldsUpNothingAndLosesNothing) {
  TempNamespace ns;
  std::string error;
  auto a = PtyEnd::Open("com7", &error);
  auto b = PtyEnd::Open("com8", &error);
  ASSERT_TRUE(a && b) << error;
  auto link_a = ComLink::Create(7, a->slave_path(), &error);
  auto link_b = ComLink::Create(8, b->slave_path(), &error);
  ASSERT_TRUE(link_a && link_b) << error;
  LinePump pump(*a, *b, {0, 10}, FaultRates{}, 1);
  ASSERT_TRUE(pump.Start(&error)) << error;
  auto line_a = platform::RealSystem().OpenSerial("COM7");
  auto line_b = platform::RealSystem().OpenSerial("COM8");
  ASSERT_TRUE(line_a.device && line_b.device);

  // Far more than the pseudo-terminal and the pump hold for a reader that
  // does not read, so the writer has to wait.
  Bytes flood(3 * LinePump::kMaxQueuedBytes);
  for (size_t i = 0; i < flood.size(); ++i) flood[i] = static_cast<uint8_t>(i * 13 + i / 251);
  std::atomic<size_t> written{0};
  std::thread writer([&] {
    const uint64_t give_up = platform::SystemClock().NowMs() + 10000;
    while (written < flood.size() && platform::SystemClock().NowMs() < give_up) {
      const platform::IoResult r =
          line_a.device->Write(flood.data() + written, flood.size() - written);
      if (!r.ok()) break;
      written += r.count;
    }
  });

  // com8 reads nothing; its answers still cross at once.
  platform::SystemClock().SleepMs(200);
  EXPECT_LT(written.load(), flood.size());
  const Bytes reply = {'A', 'C', 'K'};
  const uint64_t sent_at = platform::SystemClock().NowMs();
  ASSERT_EQ(line_b.device->Write(reply.data(), reply.size()).count, reply.size());
  EXPECT_EQ(ReadFor(*line_a.device, reply.size(), 2000), reply);
  EXPECT_LT(platform::SystemClock().NowMs() - sent_at, 200u);

  EXPECT_EQ(ReadFor(*line_b.device, flood.size(), 10000), flood);
  writer.join();
  EXPECT_EQ(written.load(), flood.size());
}

enum class InTheWay { kNothing, kStaleLink, kFile };

struct LinkCase {
  const char* name;
  InTheWay in_the_way;
  bool created;
};

class ComLinkPlacement : public ::testing::TestWithParam<LinkCase> {};

TEST_P(ComLinkPlacement, ReplacesLinksButNotFiles) {
  TempNamespace ns;
  const fs::path path = ns.root() / "com5";
  if (GetParam().in_the_way != InTheWay::kNothing) fs::create_directories(ns.root());
  if (GetParam().in_the_way == InTheWay::kStaleLink) fs::create_symlink("/dev/pts/no-such", path);
  if (GetParam().in_the_way == InTheWay::kFile) std::ofstream(path) << "keep me";

  std::string error;
  auto link = ComLink::Create(5, "/dev/null", &error);
  EXPECT_EQ(link != nullptr, GetParam().created) << error;
  if (link) {
    EXPECT_EQ(fs::read_symlink(path), "/dev/null");
    link.reset();
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
  } else {
    EXPECT_FALSE(error.empty());
    std::string kept;
    std::getline(std::ifstream(path), kept);
    EXPECT_EQ(kept, "keep me");
  }
}

INSTANTIATE_TEST_SUITE_P(Namespace, ComLinkPlacement,
                         ::testing::Values(LinkCase{"MissingRootMade", InTheWay::kNothing, true},
                                           LinkCase{"StaleLinkReplaced", InTheWay::kStaleLink, true},
                                           LinkCase{"FileRefused", InTheWay::kFile, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A second simulator that took the name over keeps it when the first goes.
TEST(ComLink, LeavesALinkItNoLongerOwns) {
  TempNamespace ns;
  std::string error;
  auto first = ComLink::Create(6, "/dev/null", &error);
  ASSERT_TRUE(first) << error;
  auto second = ComLink::Create(6, "/dev/zero", &error);
  ASSERT_TRUE(second) << error;
  first.reset();
  EXPECT_EQ(fs::read_symlink(ns.root() / "com6"), "/dev/zero");
}

}  // namespace
}  // namespace flashkit::sim
