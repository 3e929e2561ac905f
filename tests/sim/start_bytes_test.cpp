// The USB board's second step: exactly ten "1" bytes taken, none answered,
// then 30 ms of quiet before the receiver may send its start character.
#include "sim/start_bytes.h"

#include <gtest/gtest.h>

#include "tests/sim/sim_test_support.h"
#include "tests/support/fake_port.h"

namespace flashkit::sim {
namespace {

using testing::Bytes;
using testing::Text;

struct Arrival {
  uint64_t at_ms;
  Bytes bytes;
};

struct StartCase {
  const char* name;
  std::string leftover;  // came with the request
  std::vector<Arrival> script;
  StartBytesOutcome outcome;
  uint64_t end_ms;  // virtual time when the step ended
  size_t prompt_events;
  std::string rest;  // handed back to the request search
};

std::vector<Arrival> Ones(uint64_t from_ms, uint64_t gap_ms, int count) {
  std::vector<Arrival> script;
  for (int i = 0; i < count; ++i) script.push_back({from_ms + gap_ms * i, Text("1")});
  return script;
}

std::vector<Arrival> Then(std::vector<Arrival> a, const std::vector<Arrival>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class UsbStartBytes : public ::testing::TestWithParam<StartCase> {};

TEST_P(UsbStartBytes, TakenWithoutAnswer) {
  const StartCase& c = GetParam();
  flashkit::testing::VirtualClock clock;
  flashkit::testing::FakePort port(clock);
  for (const Arrival& a : c.script) port.Arrive(a.bytes, a.at_ms);
  testing::CapturedEvents events;

  Bytes rest = Text("stale");
  const StartBytesOutcome outcome =
      TakeStartBytes(port, clock, events.log(), Text(c.leftover), [] { return false; }, &rest);
  EXPECT_EQ(outcome, c.outcome);
  EXPECT_EQ(clock.NowMs(), c.end_ms);
  EXPECT_TRUE(port.written.empty()) << "a start byte was answered";
  EXPECT_EQ(events.Lines(),
            std::vector<std::string>(c.prompt_events, R"({"t_ms":0.000,"event":"prompt"})"));
  EXPECT_EQ(std::string(rest.begin(), rest.end()), c.rest);
}

const std::string kRequest(reinterpret_cast<const char*>(testing::RequestBytes(ImageType::kOther).data()),
                           12);

INSTANTIATE_TEST_SUITE_P(
    Steps, UsbStartBytes,
    ::testing::Values(
        // The host writes one "1" every 10 ms, then sleeps 10 ms and drains.
        StartCase{"TenOnesTenMsApart", "", Ones(0, 10, 10), StartBytesOutcome::kDone, 120, 1, ""},
        StartCase{"TenOnesWithTheRequest", "1111111111", {}, StartBytesOutcome::kDone, 30, 1, ""},
        StartCase{"SplitBetweenRequestAndLine", "111", Ones(5, 10, 7), StartBytesOutcome::kDone,
                  95, 1, ""},
        // After the tenth nothing is a start byte any more: dropped, and the
        // quiet counts from it.
        StartCase{"EleventhDroppedQuietAgain", "", Ones(0, 10, 11), StartBytesOutcome::kDone, 130,
                  1, ""},
        StartCase{"ExtraInTheSameReadDropped", "111111111111x", {}, StartBytesOutcome::kDone, 30,
                  1, ""},
        StartCase{"LateTenthStillTaken", "", Then(Ones(0, 10, 9), Ones(9000, 0, 1)),
                  StartBytesOutcome::kDone, 9030, 1, ""},
        StartCase{"WrongByteAmongThem", "", {{0, Text("1111A11")}}, StartBytesOutcome::kWrongByte,
                  0, 1, "A11"},
        StartCase{"RequestAgainInsteadOfOnes", "", {{40, Text(kRequest)}},
                  StartBytesOutcome::kWrongByte, 40, 0, kRequest},
        StartCase{"NineThenSilenceGivesUp", "", Ones(0, 10, 9), StartBytesOutcome::kTimedOut,
                  kStartBytesWaitMs, 1, ""},
        StartCase{"NothingGivesUp", "", {}, StartBytesOutcome::kTimedOut, kStartBytesWaitMs, 0,
                  ""},
        // A host that keeps sending after the ten never lets the receiver in.
        StartCase{"NeverQuietGivesUp", "", Then(Ones(0, 10, 10), Ones(100, 20, 600)),
                  StartBytesOutcome::kTimedOut, 90 + kStartBytesWaitMs + 10, 1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UsbStartBytes, FailingPortStops) {
  flashkit::testing::VirtualClock clock;
  flashkit::testing::FakePort port(clock);
  port.fail_read_call = 1;
  testing::CapturedEvents events;
  Bytes rest;
  EXPECT_EQ(TakeStartBytes(port, clock, events.log(), {}, [] { return false; }, &rest),
            StartBytesOutcome::kStopped);
}

}  // namespace
}  // namespace flashkit::sim
