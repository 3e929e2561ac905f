#include "sim/prompt_responder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "sim/board.h"
#include "tests/sim/sim_test_support.h"
#include "tests/support/fake_port.h"
#include "tests/support/xfer_wire.h"

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
  std::string rest;     // handed on to the receiver
};

class BoardPrompts : public ::testing::TestWithParam<PromptCase> {};

TEST_P(BoardPrompts, AnswersPromptsWithC) {
  const PromptCase& c = GetParam();
  flashkit::testing::VirtualClock clock;
  flashkit::testing::FakePort port(clock);
  for (const Arrival& a : c.script) port.Arrive(a.text, a.at_ms);
  testing::CapturedEvents events;

  Bytes rest = Text("stale");
  const PromptOutcome outcome =
      AnswerPrompts(port, clock, events.log(), Text(c.leftover), [] { return false; }, &rest);
  EXPECT_EQ(outcome, c.outcome);
  EXPECT_EQ(std::string(port.written.begin(), port.written.end()), c.written);
  EXPECT_EQ(clock.NowMs(), c.end_ms);
  EXPECT_EQ(events.Lines(),
            std::vector<std::string>(c.prompt_events, R"({"t_ms":0.000,"event":"prompt"})"));
  EXPECT_EQ(std::string(rest.begin(), rest.end()), c.rest);
}

const std::string kBlockStart = std::string("\x01\x00\xff", 3) + "fw1.bin";

INSTANTIATE_TEST_SUITE_P(
    Prompts, BoardPrompts,
    ::testing::Values(
        // The host sleeps a second after its request, then prompts every 10 ms
        // until it sees a 'C'; on a paced line the first 'C' is still on its
        // way when the host looks, so a second "1" always follows.
        PromptCase{"TwoPromptsTenMsApartOneC", "", {{1000, "1"}, {1010, "1"}}, PromptOutcome::kDone,
                   "C", 1040, 1, ""},
        PromptCase{"PromptWithTheRequest", "1", {}, PromptOutcome::kDone, "C", 30, 1, ""},
        PromptCase{"BurstOfPromptsOneC", "", {{5, "111"}}, PromptOutcome::kDone, "C", 35, 1, ""},
        // A host still prompting 60 ms after the 'C' has lost it on the line.
        PromptCase{"LostAnswerAnsweredAgain", "",
                   {{0, "1"}, {20, "1"}, {40, "1"}, {60, "1"}, {70, "1"}}, PromptOutcome::kDone,
                   "CC", 100, 1, ""},
        PromptCase{"AnswerGapEndsAtFiftyMs", "",
                   {{0, "1"}, {25, "1"}, {49, "1"}, {50, "1"}}, PromptOutcome::kDone, "CC", 80, 1,
                   ""},
        // A host that took a 'C' as the receiver's start sends block 0 at once;
        // from its first byte on, "1" is data too.
        PromptCase{"TransferAfterPromptsHandedOn", "",
                   {{0, "1"}, {10, "1"}, {12, kBlockStart}}, PromptOutcome::kDone, "C", 12, 1,
                   kBlockStart},
        PromptCase{"TransferInTheSameRead", "", {{0, "1"}, {10, "1" + kBlockStart}},
                   PromptOutcome::kDone, "C", 10, 1, kBlockStart},
        PromptCase{"NoiseBeforePromptsSkipped", "x", {{20, "z1"}}, PromptOutcome::kDone, "C", 50,
                   1, ""},
        PromptCase{"LatePromptStillAnswered", "", {{9990, "1"}}, PromptOutcome::kDone, "C", 10020, 1,
                   ""},
        PromptCase{"NoPromptGivesUp", "", {{50, "x"}}, PromptOutcome::kNoPrompt, "",
                   kFirstPromptWaitMs, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoardPrompts, FailingPortStops) {
  flashkit::testing::VirtualClock clock;
  flashkit::testing::FakePort port(clock);
  port.fail_read_call = 1;
  testing::CapturedEvents events;
  Bytes rest;
  EXPECT_EQ(AnswerPrompts(port, clock, events.log(), {}, [] { return false; }, &rest),
            PromptOutcome::kStopped);
}

// The board as a host that sends block 0 right behind its prompts sees it: the
// bytes read during the prompts reach the receiver before the rest of the line.
TEST(BoardPrompts, BlockRightBehindThePromptsIsReceived) {
  using namespace flashkit::testing;
  const std::filesystem::path store =
      std::filesystem::temp_directory_path() /
      ("devsim-prompts-" + std::to_string(std::random_device{}()));
  VirtualClock clock;
  FakePort port(clock);
  const Bytes image = Pattern(200);
  port.Arrive(sim::testing::RequestBytes(ImageType::kOther), 0);
  // Times count from the start; the closing block 0 waits for the EOT's ACK.
  port.Arrive("1", 1000);
  port.Arrive("1", 1010);
  port.Arrive(Join({DataFrame(kSohByte, 0, HeaderField("fw1.bin", "200"), Check::kCrc),
                    DataFrame(kSohByte, 1, Slice(image, 0, 128), Check::kCrc),
                    DataFrame(kSohByte, 2, Slice(image, 128, 72), Check::kCrc), {kEotByte}}),
              1012);
  port.Arrive(DataFrame(kSohByte, 0, Bytes(128, 0), Check::kCrc), 1500);
  testing::CapturedEvents events;
  const Crc16Table crc;
  BoardSettings settings;
  settings.boot_lines = 0;
  settings.store_dir = store;
  Board board(port, clock, events.log(), crc, settings, [] { return false; });

  EXPECT_TRUE(board.ServeOnce());
  // One 'C' for the prompts, then the receiver's: no second start for the
  // block 0 already under way, its ACK and start again, an ACK per block and
  // for the EOT, start and ACK for the closing block 0.
  EXPECT_EQ(std::string(port.written.begin(), port.written.begin() + 8),
            "C\x06" "C\x06\x06\x06" "C\x06");
  std::ifstream file(store / "fw1.bin", std::ios::binary);
  EXPECT_EQ(Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>()), image);
  std::filesystem::remove_all(store);
}

}  // namespace
}  // namespace flashkit::sim
