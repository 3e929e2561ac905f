#include "sim/line_schedule.h"

#include <gtest/gtest.h>

#include <vector>

namespace flashkit::sim {
namespace {

struct Burst {
  uint64_t enter_ns;
  size_t count;
};

// Walks the schedule from one due time to the next and records when each
// byte came out, checking that none comes out a nanosecond early.
std::vector<uint64_t> DeliveryTimes(LineSchedule& schedule) {
  std::vector<uint64_t> times;
  std::vector<uint8_t> out;
  uint64_t now = 0;
  while (auto wake = schedule.NextWake(now)) {
    now = *wake;
    if (now > 0) {
      EXPECT_EQ(schedule.PopDue(now - 1, out), 0u) << "byte " << times.size() << " early";
    }
    const size_t n = schedule.PopDue(now, out);
    EXPECT_GT(n, 0u);
    times.insert(times.end(), n, now);
  }
  return times;
}

struct DueCase {
  const char* name;
  LineRate rate;
  std::vector<Burst> bursts;
  std::vector<std::pair<size_t, uint64_t>> due;  // byte index, due time
};

class LineScheduleDue : public ::testing::TestWithParam<DueCase> {};

TEST_P(LineScheduleDue, BytesComeOutAtTheirDueTime) {
  const DueCase& c = GetParam();
  LineSchedule schedule(c.rate, 0);  // no batching: every byte is looked at on its own
  size_t total = 0;
  for (const Burst& b : c.bursts) {
    schedule.Push(std::vector<uint8_t>(b.count, 0x55), b.enter_ns);
    total += b.count;
  }
  const std::vector<uint64_t> times = DeliveryTimes(schedule);
  ASSERT_EQ(times.size(), total);
  for (const auto& [index, due] : c.due) EXPECT_EQ(times[index], due) << "byte " << index;
}

INSTANTIATE_TEST_SUITE_P(
    Pacing, LineScheduleDue,
    ::testing::Values(
        DueCase{"OneByte115200", {115200, 10}, {{0, 1}}, {{0, 86805}}},
        // A full 1K block frame: the last byte at t0 + 89.3229 ms.
        DueCase{"Frame1029At115200", {115200, 10}, {{5'000'000, 1029}},
                {{0, 5'086'805}, {1, 5'173'611}, {1028, 5'000'000 + 89'322'916}}},
        DueCase{"EvenParity9600", {9600, 11}, {{0, 2}}, {{0, 1'145'833}, {1, 2'291'666}}},
        DueCase{"Baud300", {300, 10}, {{0, 3}}, {{0, 33'333'333}, {2, 100'000'000}}},
        // A byte that enters while the line is busy waits for the one before.
        DueCase{"QueuesBehindBusyLine", {115200, 10}, {{0, 3}, {100'000, 1}}, {{3, 347'222}}},
        // An idle line starts afresh from the moment the byte entered.
        DueCase{"GapRestartsBurst", {115200, 10}, {{0, 2}, {10'000'000, 1}}, {{1, 173'611}, {2, 10'086'805}}},
        // Past baud characters the burst start moves on by whole seconds; the
        // due times must not drift.
        DueCase{"LongBurstNoDrift", {115200, 10}, {{0, 230'401}},
                {{115'199, 10'000'000'000}, {115'200, 10'000'086'805}, {230'400, 20'000'086'805}}},
        DueCase{"UnpacedAtOnce", {0, 10}, {{7'000, 4}}, {{0, 7'000}, {3, 7'000}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct WakeCase {
  const char* name;
  LineRate rate;
  size_t count;      // bytes entering at 0
  uint64_t now_ns;
  bool delivered;    // the pump has taken what was due by now_ns
  std::optional<uint64_t> wake_ns;
};

class LineScheduleWake : public ::testing::TestWithParam<WakeCase> {};

TEST_P(LineScheduleWake, NextLook) {
  const WakeCase& c = GetParam();
  LineSchedule schedule(c.rate);
  schedule.Push(std::vector<uint8_t>(c.count, 0x55), 0);
  std::vector<uint8_t> out;
  if (c.delivered) schedule.PopDue(c.now_ns, out);
  EXPECT_EQ(schedule.NextWake(c.now_ns), c.wake_ns);
}

INSTANTIATE_TEST_SUITE_P(
    Batching, LineScheduleWake,
    ::testing::Values(
        WakeCase{"EmptyLineSleeps", {115200, 10}, 0, 0, true, std::nullopt},
        WakeCase{"SingleByteAtItsDueTime", {115200, 10}, 1, 0, true, 86'805},
        WakeCase{"ShortBurstAtLastByte", {115200, 10}, 5, 0, true, 434'027},
        WakeCase{"LongBurstEveryMillisecond", {115200, 10}, 1029, 0, true, 1'000'000},
        WakeCase{"LongBurstNearItsEnd", {115200, 10}, 1029, 88'900'000, true, 89'322'916},
        WakeCase{"AllDeliveredSleeps", {115200, 10}, 1029, 89'322'916, true, std::nullopt},
        WakeCase{"SlowLineNotBeforeFirstByte", {300, 10}, 3, 0, true, 33'333'333},
        WakeCase{"OverdueAtOnce", {115200, 10}, 3, 200'000, false, 200'000}),
    [](const auto& info) { return std::string(info.param.name); });

struct PumpCase {
  const char* name;
  LineRate rate;
  size_t count;
  size_t max_wakes;
};

class LineSchedulePump : public ::testing::TestWithParam<PumpCase> {};

// A pump that sleeps until NextWake delivers every byte no earlier than due,
// no more than a batch late, the last one exactly on time, with few wake-ups.
TEST_P(LineSchedulePump, FewWakesLittleLatency) {
  const PumpCase& c = GetParam();
  LineSchedule reference(c.rate, 0);
  LineSchedule schedule(c.rate);
  const std::vector<uint8_t> bytes(c.count, 0xA5);
  reference.Push(bytes, 0);
  schedule.Push(bytes, 0);
  const std::vector<uint64_t> due = DeliveryTimes(reference);

  std::vector<uint8_t> out;
  uint64_t now = 0;
  size_t wakes = 0;
  size_t delivered = 0;
  while (auto wake = schedule.NextWake(now)) {
    now = *wake;
    ++wakes;
    const size_t n = schedule.PopDue(now, out);
    for (size_t i = delivered; i < delivered + n; ++i) {
      EXPECT_GE(now, due[i]);
      EXPECT_LE(now - due[i], LineSchedule::kDefaultBatchNs);
    }
    delivered += n;
  }
  EXPECT_EQ(delivered, c.count);
  EXPECT_EQ(now, due.back());
  EXPECT_LE(wakes, c.max_wakes);
}

INSTANTIATE_TEST_SUITE_P(
    Bursts, LineSchedulePump,
    ::testing::Values(PumpCase{"Frame115200", {115200, 10}, 1029, 91},
                      PumpCase{"Frame921600", {921600, 10}, 1029, 13},
                      PumpCase{"Prompt9600", {9600, 10}, 1, 1},
                      PumpCase{"Slow1200", {1200, 11}, 20, 20}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::sim
