#include "sim/fault_injector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace flashkit::sim {
namespace {

// What became of each byte: -1 lost, else the byte that arrived.
std::vector<int> Fates(FaultInjector& faults, size_t count) {
  std::vector<int> fates;
  for (size_t i = 0; i < count; ++i) {
    const auto out = faults.Pass(static_cast<uint8_t>(i));
    fates.push_back(out ? *out : -1);
  }
  return fates;
}

TEST(FaultInjector, SameSeedAndDirectionSameFaults) {
  const FaultRates rates{0.05, 0.05};
  FaultInjector first(rates, 42, 0);
  FaultInjector again(rates, 42, 0);
  FaultInjector other_direction(rates, 42, 1);
  FaultInjector other_seed(rates, 43, 0);
  const auto fates = Fates(first, 10000);
  EXPECT_EQ(Fates(again, 10000), fates);
  EXPECT_NE(Fates(other_direction, 10000), fates);
  EXPECT_NE(Fates(other_seed, 10000), fates);
}

struct RateCase {
  const char* name;
  FaultRates rates;
};

class FaultInjectorRates : public ::testing::TestWithParam<RateCase> {};

// Over a million bytes the counts stay within five standard deviations of
// the rates asked for, and a damaged byte is never the byte that was sent.
TEST_P(FaultInjectorRates, CountsMatchTheRates) {
  constexpr size_t kBytes = 1'000'000;
  const FaultRates rates = GetParam().rates;
  FaultInjector faults(rates, 7, 0);

  uint64_t changed = 0;
  uint64_t lost = 0;
  for (size_t i = 0; i < kBytes; ++i) {
    const auto sent = static_cast<uint8_t>(i * 131);
    const auto out = faults.Pass(sent);
    if (!out) {
      ++lost;
    } else if (*out != sent) {
      ++changed;
    }
  }
  const LineCounts& counts = faults.counts();
  EXPECT_EQ(counts.dropped, lost);
  EXPECT_EQ(counts.corrupted, changed);  // every damaged byte differs
  EXPECT_EQ(counts.delivered, kBytes - lost);

  auto within = [](uint64_t seen, double trials, double p) {
    const double mean = trials * p;
    const double sd = std::sqrt(trials * p * (1 - p));
    return std::fabs(static_cast<double>(seen) - mean) <= 5 * sd + 1e-9;
  };
  EXPECT_TRUE(within(lost, kBytes, rates.drop)) << lost;
  EXPECT_TRUE(within(changed, static_cast<double>(kBytes - lost), rates.corrupt)) << changed;
}

INSTANTIATE_TEST_SUITE_P(
    Rates, FaultInjectorRates,
    ::testing::Values(RateCase{"Clean", {0, 0}}, RateCase{"DropOnePercent", {0.01, 0}},
                      RateCase{"CorruptOnePerMille", {0, 0.001}},
                      RateCase{"Both", {0.02, 0.03}}, RateCase{"CorruptAll", {0, 1.0}},
                      RateCase{"DropAll", {1.0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::sim
