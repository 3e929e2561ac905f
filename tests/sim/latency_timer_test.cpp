// The host's USB serial adapter at the end of a paced line: what it holds,
// and when it lets go, on virtual time.
#include "sim/paced_channel.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace flashkit::sim {
namespace {

constexpr uint64_t kMs = 1'000'000;

struct Burst {
  uint64_t enter_ns;
  size_t count;
};

struct Release {
  uint64_t at_ns;
  size_t count;
  bool operator==(const Release&) const = default;
};

void PrintTo(const Release& r, std::ostream* os) { *os << r.count << " at " << r.at_ns; }

struct HoldCase {
  const char* name;
  LineRate rate;
  uint32_t timer_ms;
  std::vector<Burst> bursts;
  std::vector<Release> releases;
};

void PrintTo(const HoldCase& c, std::ostream* os) { *os << c.name; }

class AdapterHold : public ::testing::TestWithParam<HoldCase> {};

// Looks in only when the channel asks to, as the pump does, with no batching
// on the line, and records what the host gets when.
TEST_P(AdapterHold, HostGetsBytesWhenTheAdapterLetsGo) {
  const HoldCase& c = GetParam();
  PacedChannel channel(c.rate, {}, 1, 0, 0);
  channel.SetLatencyTimer(c.timer_ms);
  std::vector<uint8_t> sent;
  for (const Burst& b : c.bursts) {
    std::vector<uint8_t> bytes;
    for (size_t k = 0; k < b.count; ++k) bytes.push_back(static_cast<uint8_t>(sent.size() + k));
    channel.Push(bytes, b.enter_ns);
    sent.insert(sent.end(), bytes.begin(), bytes.end());
  }

  std::vector<Release> releases;
  std::vector<uint8_t> got;
  uint64_t now = 0;
  for (int looks = 0; looks < 10'000; ++looks) {
    const auto wake = channel.NextWake(now);
    if (!wake) break;
    ASSERT_GE(*wake, now);
    now = *wake;
    const size_t before = got.size();
    channel.Deliver(now, got);
    if (got.size() != before) releases.push_back({now, got.size() - before});
  }
  EXPECT_TRUE(channel.Empty());
  EXPECT_EQ(got, sent);
  EXPECT_EQ(releases, c.releases);
}

INSTANTIATE_TEST_SUITE_P(
    Timer, AdapterHold,
    ::testing::Values(
        // A lone ACK at 115200: on the line 86.8 us, then the whole timer.
        HoldCase{"AckWaitsTheDefaultTimer", {115200, 10}, 16, {{0, 1}}, {{86'805 + 16 * kMs, 1}}},
        HoldCase{"AckWaitsTheLowLatencyTimer", {115200, 10}, 1, {{0, 1}}, {{86'805 + 1 * kMs, 1}}},
        HoldCase{"FullPacketAtOnce", {0, 10}, 16, {{5 * kMs, 62}}, {{5 * kMs, 62}}},
        HoldCase{"SixtyThirdWaitsTheTimer", {0, 10}, 16, {{0, 63}}, {{0, 62}, {16 * kMs, 1}}},
        // At 921600 the 62nd byte is on the line at 672.7 us; the 63rd, at
        // 683.6 us, starts a hold of its own.
        HoldCase{"PacedPacketThenTimerFromTheNext", {921600, 10}, 16, {{0, 63}},
                 {{672'743, 62}, {683'593 + 16 * kMs, 1}}},
        // Ten bytes at 9600 come in from 1.04 to 10.4 ms; the timer runs from
        // the first, so all ten go at 17.04 ms, not 26.4.
        HoldCase{"TimerRunsFromTheFirstByte", {9600, 10}, 16, {{0, 10}}, {{1'041'666 + 16 * kMs, 10}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::sim
