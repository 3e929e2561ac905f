#include "platform/clock.h"

#include <gtest/gtest.h>

namespace flashkit::platform {
namespace {

class SystemClockSleep : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SystemClockSleep, SleepsAtLeastTheTimeAskedAndNotMuchMore) {
  Clock& clock = SystemClock();
  const uint64_t start = clock.NowMs();
  clock.SleepMs(GetParam());
  const uint64_t slept = clock.NowMs() - start;
  EXPECT_GE(slept, GetParam());
  EXPECT_LT(slept, GetParam() + 250u);
}

INSTANTIATE_TEST_SUITE_P(Durations, SystemClockSleep, ::testing::Values(0u, 1u, 30u, 1010u));

}  // namespace
}  // namespace flashkit::platform
