#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/engines/download_rig.h"

namespace flashkit::testing {
namespace {

using Script = std::function<void(FakeRingPort&)>;
using Call = std::function<int32_t(McuBootloader&)>;

// The Nth frame written is answered with replies[N-1], `delay_ms` later.
Script Replies(Frames replies, uint64_t delay_ms = 0) {
  return [=](FakeRingPort& port) { port.ReplyInTurn(replies, delay_ms); };
}

// Like Replies, each answer with its own delay.
Script Answers(std::vector<std::pair<uint64_t, Frame>> answers) {
  return [=](FakeRingPort& port) {
    port.on_write = [=, next = size_t{0}](FakeRingPort& p, std::span<const uint8_t>) mutable {
      if (next < answers.size()) p.Arrive(answers[next].second, answers[next].first);
      ++next;
    };
  };
}

// The first frame written is answered one byte every `gap_ms`.
Script Trickle(Frame reply, uint64_t gap_ms) {
  return [=](FakeRingPort& port) {
    port.on_write = [=, done = false](FakeRingPort& p, std::span<const uint8_t>) mutable {
      for (size_t i = 0; !done && i < reply.size(); ++i) p.Arrive({reply[i]}, gap_ms * (i + 1));
      done = true;
    };
  };
}

const Frame kMarker = {0x55, 0xAA, 0x55, 0xAA};
const Frame kWriteCmd = {0x31, 0xCE};
const Frame kAtMarker = {0x08, 0x00, 0x7C, 0x00, 0x74};
const Frame kMarkerData = {0x03, 0x55, 0xAA, 0x55, 0xAA, 0x03};

struct CommandRow {
  const char* name;
  Script script;
  Call call;
  Frames frames;     // written, in order
  int32_t result;
  uint64_t elapsed;  // virtual ms the call took
};

class Command : public ::testing::TestWithParam<CommandRow> {};

TEST_P(Command, PutsTheseFramesOnTheWire) {
  const CommandRow& row = GetParam();
  DownloadRig rig;
  row.script(*rig.port);
  EXPECT_EQ(row.call(*rig.boot), row.result);
  EXPECT_EQ(rig.port->writes, row.frames);
  EXPECT_EQ(rig.clock.NowMs(), row.elapsed);
}

Frames Repeat(const Frame& frame, int times) { return Frames(static_cast<size_t>(times), frame); }
Frames Join(std::initializer_list<Frames> parts) {
  Frames all;
  for (const Frames& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Call kSync = [](McuBootloader& b) { return b.Sync(); };
const Call kGetId = [](McuBootloader& b) { return b.GetId(); };
const Call kGoStart = [](McuBootloader& b) { return b.Go(0x08000000); };
const Call kGoApp = [](McuBootloader& b) { return b.Go(0x08008000); };
const Call kGlobalErase = [](McuBootloader& b) { return b.Erase(0, 0); };
const Call kMarkerWrite = [](McuBootloader& b) {
  return b.WriteMemory(0x08007C00, 3, kMarker.data());
};

INSTANTIATE_TEST_SUITE_P(
    Sync, Command,
    ::testing::Values(
        CommandRow{"AckedAtOnce", Replies({{0x79}}), kSync, {{0x7F}}, 1, 0},
        CommandRow{"NackThenAck", Replies({{0x1F}, {0x79}}), kSync, {{0x7F}, {0x7F}}, 1, 0},
        CommandRow{"GarbageThenAck", Replies({{0xA5}, {0x79}}), kSync, {{0x7F}, {0x7F}}, 1, 0},
        CommandRow{"ReplyNineMsLateCounts", Replies({{0x79}}, 9), kSync, {{0x7F}}, 1, 9},
        // Missed by the first try, it is the first byte the second try reads.
        CommandRow{"ReplyTenMsLateReadByTheNextTry", Replies({{0x79}}, 10), kSync,
                   {{0x7F}, {0x7F}}, 1, 10},
        CommandRow{"TenSilentTries", Replies({}), kSync, Repeat({0x7F}, 10), -1, 100}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    GetId, Command,
    ::testing::Values(
        CommandRow{"StandardReply", Replies({{0x79, 0x01, 0x04, 0x10, 0x79}}), kGetId,
                   {{0x02, 0xFD}}, 1, 10},
        CommandRow{"Nack", Replies({{0x1F}}), kGetId, {{0x02, 0xFD}}, 0, 10},
        CommandRow{"NoClosingAck", Replies({{0x79, 0x01, 0x04, 0x10}}), kGetId, {{0x02, 0xFD}}, 0,
                   10},
        CommandRow{"WrongClosingByte", Replies({{0x79, 0x01, 0x04, 0x10, 0x1F}}), kGetId,
                   {{0x02, 0xFD}}, 0, 10},
        CommandRow{"Silence", Replies({}), kGetId, {{0x02, 0xFD}}, 0, 10},
        CommandRow{"NoiseBeforeTheAck", Replies({{0x00, 0x13, 0x79, 0x01, 0x04, 0x10, 0x79}}),
                   kGetId, {{0x02, 0xFD}}, 1, 10},
        CommandRow{"LongerPayload", Replies({{0x79, 0x03, 0x04, 0x10, 0x20, 0x30, 0x79}}), kGetId,
                   {{0x02, 0xFD}}, 1, 10},
        CommandRow{"ReplyEndsAtTheAck", Replies({{0x00, 0x00, 0x79}}), kGetId, {{0x02, 0xFD}}, 0,
                   10},
        CommandRow{"LengthRunsPastTheReply", Replies({{0x79, 0xFF, 0x79, 0x79, 0x79}}), kGetId,
                   {{0x02, 0xFD}}, 0, 10},
        // Each byte restarts the ten idle polls.
        CommandRow{"BytesNineMsApart", Trickle({0x79, 0x01, 0x04, 0x10, 0x79}, 9), kGetId,
                   {{0x02, 0xFD}}, 1, 45 + 10},
        CommandRow{"BytesTenMsApart", Trickle({0x79, 0x01, 0x04, 0x10, 0x79}, 10), kGetId,
                   {{0x02, 0xFD}}, 0, 10}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Go, Command,
    ::testing::Values(
        CommandRow{"Acked", Replies({{0x79}, {0x79}}), kGoStart,
                   {{0x21, 0xDE}, {0x08, 0x00, 0x00, 0x00, 0x08}}, 1, 0},
        CommandRow{"NackThenSyncAndRepeat", Replies({{0x1F}, {0x79}, {0x79}, {0x79}}), kGoStart,
                   {{0x21, 0xDE}, {0x7F}, {0x21, 0xDE}, {0x08, 0x00, 0x00, 0x00, 0x08}}, 1, 0},
        CommandRow{"NackTwiceGivesUp", Replies({{0x1F}, {0x79}, {0x1F}}), kGoStart,
                   {{0x21, 0xDE}, {0x7F}, {0x21, 0xDE}}, 0, 0},
        CommandRow{"SilentOneFullSyncOneRepeat", Replies({}), kGoStart,
                   Join({{{0x21, 0xDE}}, Repeat({0x7F}, 10), {{0x21, 0xDE}}}), 0, 10 + 100 + 10},
        CommandRow{"AddressRefused", Replies({{0x79}, {0x1F}}), kGoApp,
                   {{0x21, 0xDE}, {0x08, 0x00, 0x80, 0x00, 0x88}}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Erase, Command,
    ::testing::Values(
        CommandRow{"Global", Replies({{0x79}, {0x79}}), kGlobalErase, {{0x43, 0xBC}, {0xFF, 0x00}},
                   1, 0},
        CommandRow{"TwoPagesFromFive", Replies({{0x79}, {0x79}}),
                   [](McuBootloader& b) { return b.Erase(2, 5); },
                   {{0x43, 0xBC}, {0x02, 0x05, 0x07}}, 1, 0},
        CommandRow{"CommandRefused", Replies({{0x1F}}), kGlobalErase, {{0x43, 0xBC}}, 0, 0},
        CommandRow{"ParametersWaitTwentyPolls", Replies({{0x79}}), kGlobalErase,
                   {{0x43, 0xBC}, {0xFF, 0x00}}, 0, 20},
        CommandRow{"ParametersAckedAfterNineteen", Answers({{0, {0x79}}, {19, {0x79}}}),
                   kGlobalErase, {{0x43, 0xBC}, {0xFF, 0x00}}, 1, 19}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    WriteMemory, Command,
    ::testing::Values(
        CommandRow{"Marker", Replies({{0x79}, {0x79}, {0x79}}), kMarkerWrite,
                   {kWriteCmd, kAtMarker, kMarkerData},
                   1, 0},
        CommandRow{"OneByte", Replies({{0x79}, {0x79}, {0x79}}),
                   [](McuBootloader& b) {
                     const uint8_t byte = 0x42;
                     return b.WriteMemory(0x08008100, 0, &byte);
                   },
                   {kWriteCmd, {0x08, 0x00, 0x81, 0x00, 0x89}, {0x00, 0x42, 0x42}}, 1, 0},
        CommandRow{"CommandWaitsTwentyPolls", Replies({}), kMarkerWrite, {kWriteCmd}, 0, 20},
        CommandRow{"AddressRefused", Replies({{0x79}, {0x1F}}), kMarkerWrite,
                   {kWriteCmd, kAtMarker}, 0, 0},
        CommandRow{"DataWaitsFiftyPolls", Replies({{0x79}, {0x79}}), kMarkerWrite,
                   {kWriteCmd, kAtMarker, kMarkerData},
                   0, 50},
        CommandRow{"DataAckedAfterFortyNine", Answers({{0, {0x79}}, {19, {0x79}}, {49, {0x79}}}),
                   kMarkerWrite,
                   {kWriteCmd, kAtMarker, kMarkerData},
                   1, 19 + 49}),
    [](const auto& info) { return std::string(info.param.name); });

// Nothing is thrown away before a frame goes out: the second ACK of the sync
// passes the refused erase command, whose NACK then fails the parameters.
INSTANTIATE_TEST_SUITE_P(
    StaleBytes, Command,
    ::testing::Values(CommandRow{"SecondAckReadAsTheNextReply",
                                 Replies({{0x79, 0x79}, {0x1F}, {0x79}}),
                                 [](McuBootloader& b) {
                                   b.Sync();  // one frame: answered at once
                                   return b.Erase(0, 0);
                                 },
                                 {{0x7F}, {0x43, 0xBC}, {0xFF, 0x00}}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XorChecksum, OfTheGivenBytesOnly) {
  EXPECT_EQ(McuBootloader::XorChecksum(4, kMarker.data()), 0x00);
  EXPECT_EQ(McuBootloader::XorChecksum(3, kMarker.data()), 0xAA);
  EXPECT_EQ(McuBootloader::XorChecksum(0, kMarker.data()), 0x00);
  EXPECT_EQ(McuBootloader::XorChecksum(-1, kMarker.data()), 0x00);
}

}  // namespace
}  // namespace flashkit::testing
