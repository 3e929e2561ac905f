#include "sim/prompt_responder.h"

#include <gtest/gtest.h>

#include "tests/sim/sim_test_support.h"
#include "tests/support/fake_port.h"

namespace flashkit::sim {
namespace {

using testing::Bytes;
using testing::Text;

struct Arrival {
  uint64_t at_ms;
  std::string text;
};

struct PromptCase {
  const char* name;
  std::string leftover;
  std::vector<Arrival> script;
  PromptOutcome outcome;
  std::string written;
  uint64_t end_ms;      // virtual time when the step ended
  size_t prompt_events;
};

class BoardPrompts : public ::testing::TestWithParam<PromptCase> {};

TEST_P(BoardPrompts, AnswersEachOneWithC) {
  const PromptCase& c = GetParam();
  flashkit::testing::VirtualClock clock;
  flashkit::testing::FakePort port(clock);
  for (const Arrival& a : c.script) port.Arrive(a.text, a.at_ms);
  testing::CapturedEvents events;

  const PromptOutcome outcome =
      AnswerPrompts(port, clock, events.log(), Text(c.leftover), [] { return false; });
  EXPECT_EQ(outcome, c.outcome);
  EXPECT_EQ(std::string(port.written.begin(), port.written.end()), c.written);
  EXPECT_EQ(clock.NowMs(), c.end_ms);
  EXPECT_EQ(events.Lines(),
            std::vector<std::string>(c.prompt_events, R"({"t_ms":0.000,"event":"prompt"})"));
}

INSTANTIATE_TEST_SUITE_P(
    Prompts, BoardPrompts,
    ::testing::Values(
        // The host sleeps a second after its request, then prompts every 10 ms
        // until it sees a 'C'.
        PromptCase{"HostPausesThenPrompts", "", {{1000, "1"}, {1010, "1"}}, PromptOutcome::kDone,
                   "CC", 1040, 1},
        PromptCase{"PromptWithTheRequest", "1", {}, PromptOutcome::kDone, "C", 30, 1},
        PromptCase{"BurstOfPrompts", "", {{5, "111"}}, PromptOutcome::kDone, "CCC", 35, 1},
        // Quiet counts from the last "1"; other bytes do not prolong it.
        PromptCase{"OtherBytesIgnored", "", {{0, "1"}, {20, "x"}, {25, "z"}}, PromptOutcome::kDone,
                   "C", 30, 1},
        PromptCase{"LatePromptStillAnswered", "", {{9990, "1"}}, PromptOutcome::kDone, "C", 10020, 1},
        PromptCase{"NoPromptGivesUp", "", {{50, "x"}}, PromptOutcome::kNoPrompt, "",
                   kFirstPromptWaitMs, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoardPrompts, FailingPortStops) {
  flashkit::testing::VirtualClock clock;
  flashkit::testing::FakePort port(clock);
  port.fail_read_call = 1;
  testing::CapturedEvents events;
  EXPECT_EQ(AnswerPrompts(port, clock, events.log(), {}, [] { return false; }),
            PromptOutcome::kStopped);
}

}  // namespace
}  // namespace flashkit::sim
