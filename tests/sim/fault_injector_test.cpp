#include "sim/fault_injector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sim/devsim_options.h"

namespace flashkit::sim {
namespace {

// What arrived for each byte sent, in order: nothing, the byte (maybe
// damaged), and maybe a stray byte after it.
std::vector<std::vector<uint8_t>> Fates(FaultInjector& faults, size_t count) {
  std::vector<std::vector<uint8_t>> fates;
  for (size_t i = 0; i < count; ++i) {
    fates.emplace_back();
    faults.Pass(static_cast<uint8_t>(i), fates.back());
  }
  return fates;
}

TEST(FaultInjector, SameSeedAndDirectionSameFaults) {
  const FaultRates rates{.drop = 0.05, .corrupt = 0.05, .burst = 0.01, .insert = 0.05};
  FaultInjector first(rates, 42, 0);
  FaultInjector again(rates, 42, 0);
  FaultInjector other_direction(rates, 42, 1);
  FaultInjector other_seed(rates, 43, 0);
  const auto fates = Fates(first, 10000);
  EXPECT_EQ(Fates(again, 10000), fates);
  EXPECT_NE(Fates(other_direction, 10000), fates);
  EXPECT_NE(Fates(other_seed, 10000), fates);
}

// Soak runs recorded with drops and damage alone keep their faults when
// bursts and stray bytes join the injector with rate 0.
TEST(FaultInjector, UnusedKindsLeaveTheOthersDecisionsAlone) {
  FaultInjector plain({.drop = 0.02, .corrupt = 0.03}, 5, 0);
  FaultInjector with_unused({.drop = 0.02, .corrupt = 0.03, .burst = 0, .burst_bytes = 4,
                             .insert = 0},
                            5, 0);
  EXPECT_EQ(Fates(plain, 20000), Fates(with_unused, 20000));
}

struct RateCase {
  const char* name;
  FaultRates rates;
};

class FaultInjectorRates : public ::testing::TestWithParam<RateCase> {};

// Over a million bytes the counts stay within five standard deviations of
// the rates asked for, a damaged byte is never the byte that was sent, and
// every burst damages exactly its run of bytes.
TEST_P(FaultInjectorRates, CountsMatchTheRates) {
  constexpr size_t kBytes = 1'000'000;
  const FaultRates rates = GetParam().rates;
  FaultInjector faults(rates, 7, 0);

  uint64_t changed = 0;
  uint64_t lost = 0;
  uint64_t stray = 0;
  uint64_t arrived = 0;
  std::vector<uint8_t> out;
  for (size_t i = 0; i < kBytes; ++i) {
    const auto sent = static_cast<uint8_t>(i * 131);
    const LineCounts before = faults.counts();
    out.clear();
    faults.Pass(sent, out);
    const bool dropped = faults.counts().dropped != before.dropped;
    const bool inserted = faults.counts().inserted != before.inserted;
    ASSERT_EQ(out.size(), (dropped ? 0u : 1u) + (inserted ? 1u : 0u));
    arrived += out.size();
    lost += dropped;
    stray += inserted;
    if (!dropped && out[0] != sent) ++changed;
  }
  const LineCounts& counts = faults.counts();
  EXPECT_EQ(counts.corrupted, changed);  // every damaged byte differs
  EXPECT_EQ(counts.delivered, arrived);

  auto within = [](uint64_t seen, double trials, double p) {
    const double mean = trials * p;
    const double sd = std::sqrt(trials * p * (1 - p));
    return std::fabs(static_cast<double>(seen) - mean) <= 5 * sd + 1e-9;
  };
  const uint64_t in_bursts = counts.bursts * rates.burst_bytes;
  // A burst starts only outside another one.
  const double burst_trials = static_cast<double>(kBytes - in_bursts + counts.bursts);
  EXPECT_TRUE(within(counts.bursts, burst_trials, rates.burst)) << counts.bursts;
  const double outside = static_cast<double>(kBytes - in_bursts);
  EXPECT_TRUE(within(lost, outside, rates.drop)) << lost;
  EXPECT_TRUE(within(changed - in_bursts, outside - static_cast<double>(lost), rates.corrupt))
      << changed;
  EXPECT_TRUE(within(stray, kBytes, rates.insert)) << stray;
}

INSTANTIATE_TEST_SUITE_P(
    Rates, FaultInjectorRates,
    ::testing::Values(RateCase{"Clean", {}}, RateCase{"DropOnePercent", {.drop = 0.01}},
                      RateCase{"CorruptOnePerMille", {.corrupt = 0.001}},
                      RateCase{"Both", {.drop = 0.02, .corrupt = 0.03}},
                      RateCase{"CorruptAll", {.corrupt = 1.0}},
                      RateCase{"DropAll", {.drop = 1.0}},
                      RateCase{"BurstsOf16", {.burst = 0.001}},
                      RateCase{"BurstsOf3WithDrops", {.drop = 0.01, .burst = 0.01, .burst_bytes = 3}},
                      RateCase{"InsertOnePercent", {.insert = 0.01}},
                      RateCase{"InsertAfterDrops", {.drop = 0.5, .insert = 0.5}},
                      RateCase{"Everything",
                               {.drop = 0.01, .corrupt = 0.01, .burst = 0.002, .insert = 0.01}}),
    [](const auto& info) { return std::string(info.param.name); });

// Bytes come out one for one around a burst; the burst's own bytes each
// arrive damaged, none lost.
TEST(FaultInjector, ABurstDamagesItsRunAndNothingElse) {
  FaultInjector faults({.burst = 1.0, .burst_bytes = 5}, 3, 0);
  std::vector<uint8_t> out;
  for (int i = 0; i < 12; ++i) faults.Pass(0x55, out);
  ASSERT_EQ(out.size(), 12u);
  for (uint8_t byte : out) EXPECT_NE(byte, 0x55);
  EXPECT_EQ(faults.counts().bursts, 3u);  // 5 + 5 + the first 2 of a third
  EXPECT_EQ(faults.counts().corrupted, 12u);
}

struct FaultOptionCase {
  const char* name;
  std::vector<std::string> args;
  bool parses;
  FaultRates rates;
};

class FaultOptions : public ::testing::TestWithParam<FaultOptionCase> {};

TEST_P(FaultOptions, ReachTheInjectorOfEveryDevice) {
  const auto parsed = ParseCommandLine(GetParam().args);
  ASSERT_EQ(parsed.options.has_value(), GetParam().parses) << parsed.error;
  if (!parsed.options) return;
  const FaultRates& got = parsed.options->faults;
  const FaultRates& want = GetParam().rates;
  EXPECT_EQ(got.drop, want.drop);
  EXPECT_EQ(got.corrupt, want.corrupt);
  EXPECT_EQ(got.burst, want.burst);
  EXPECT_EQ(got.burst_bytes, want.burst_bytes);
  EXPECT_EQ(got.insert, want.insert);
}

INSTANTIATE_TEST_SUITE_P(
    Devsim, FaultOptions,
    ::testing::Values(
        FaultOptionCase{"BoardDefaults", {"board", "--com", "3"}, true, {}},
        FaultOptionCase{"BoardBursts",
                        {"board", "--com", "3", "--burst", "0.001", "--burst-bytes", "4"},
                        true,
                        {.burst = 0.001, .burst_bytes = 4}},
        FaultOptionCase{"WireInserts", {"wire", "--com", "1", "--com", "2", "--insert=1e-4"}, true,
                        {.insert = 1e-4}},
        FaultOptionCase{"McuAll",
                        {"mcu", "--com", "4", "--drop", "0.1", "--corrupt", "0.2", "--burst",
                         "0.3", "--insert", "0.4"},
                        true,
                        {.drop = 0.1, .corrupt = 0.2, .burst = 0.3, .insert = 0.4}},
        FaultOptionCase{"UsbFramedBursts", {"usb-framed", "--usb", "f1", "--burst", "1"}, true,
                        {.burst = 1.0}},
        FaultOptionCase{"InsertAboveOne", {"board", "--com", "3", "--insert", "2"}, false, {}},
        FaultOptionCase{"BurstOfNoBytes", {"board", "--com", "3", "--burst-bytes", "0"}, false, {}},
        FaultOptionCase{"BurstNotANumber", {"wire", "--com", "1", "--com", "2", "--burst", "x"},
                        false, {}},
        FaultOptionCase{"WireFaultsToOnePort",
                        {"wire", "--com", "1", "--com", "2", "--drop", "0.1", "--faults-to", "2"},
                        true,
                        {.drop = 0.1}},
        FaultOptionCase{"FaultsToAPortNotOnTheWire",
                        {"wire", "--com", "1", "--com", "2", "--faults-to", "3"}, false, {}},
        FaultOptionCase{"FaultsToOnABoard", {"board", "--com", "3", "--faults-to", "3"}, false,
                        {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::sim
