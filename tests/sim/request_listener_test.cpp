#include "sim/request_listener.h"

#include <gtest/gtest.h>

#include "tests/sim/sim_test_support.h"
#include "tests/support/fake_port.h"

namespace flashkit::sim {
namespace {

using testing::Bytes;
using testing::Cat;
using testing::RequestBytes;
using testing::Text;
using testing::WithBadCrc;

const Bytes kTaxi = {0x02, 0x05, 0xFF, 0x03, 0xFB};
const Bytes kDg = {0x02, 0x00, 0x01, 0x44, 0x03, 0x45};
const Bytes kIapDg = {0x02, 0x00, 0x01, 0x80, 0x03, 0x45};

struct Arrival {
  uint64_t delay_ms;
  Bytes bytes;
};

struct ListenCase {
  const char* name;
  std::vector<Arrival> script;
  std::vector<std::string> events;
  bool found;
  Bytes leftover;
};

std::string Request(const std::string& rest) {
  return R"({"t_ms":0.000,"event":"request",)" + rest + "}";
}

class BoardRequest : public ::testing::TestWithParam<ListenCase> {};

TEST_P(BoardRequest, Recognised) {
  const ListenCase& c = GetParam();
  flashkit::testing::VirtualClock clock;
  flashkit::testing::FakePort port(clock);
  for (const Arrival& a : c.script) port.Arrive(a.bytes, a.delay_ms);
  testing::CapturedEvents events;
  const Crc16Table crc;

  Bytes leftover;
  const bool found = WaitForRequest(port, crc, events.log(),
                                    [&clock] { return clock.NowMs() >= 60000; }, &leftover);
  EXPECT_EQ(found, c.found);
  EXPECT_EQ(events.Lines(), c.events);
  EXPECT_EQ(leftover, c.leftover);
  EXPECT_TRUE(port.written.empty());
}

const std::string kPacketOk = Request(R"("form":"packet","image_type":"0xff","crc_ok":true)");

INSTANTIATE_TEST_SUITE_P(
    Forms, BoardRequest,
    ::testing::Values(
        ListenCase{"Packet", {{0, RequestBytes(ImageType::kOther)}}, {kPacketOk}, true, {}},
        ListenCase{"IapPacket",
                   {{0, RequestBytes(ImageType::kIap)}},
                   {Request(R"("form":"packet","image_type":"0x80","crc_ok":true)")},
                   true,
                   {}},
        ListenCase{"GarbageBeforePacket",
                   {{0, Cat({Text("xyz"), {0x02, 0x02, 0x01}, RequestBytes(ImageType::kOther)})}},
                   {kPacketOk},
                   true,
                   {}},
        ListenCase{"BadCrcIgnoredThenGood",
                   {{0, WithBadCrc(RequestBytes(ImageType::kRoot))},
                    {500, RequestBytes(ImageType::kOther)}},
                   {Request(R"("form":"packet","image_type":"0x83","crc_ok":false)"), kPacketOk},
                   true,
                   {}},
        ListenCase{"SplitAcrossReads",
                   {{0, {0x02, 0x01, 0x0B, 0x01}}, {300, {0x0E, 0x01, 0xFF, 0x00, 0x00, 0x79, 0x6A, 0x03}}},
                   {kPacketOk},
                   true,
                   {}},
        ListenCase{"Taxi", {{0, kTaxi}}, {Request(R"("form":"taxi","crc_ok":true)")}, true, {}},
        ListenCase{"Dg", {{0, kDg}}, {Request(R"("form":"dg","crc_ok":true)")}, true, {}},
        ListenCase{"IapDg", {{0, kIapDg}}, {Request(R"("form":"iap-dg","crc_ok":true)")}, true, {}},
        // Prompts that came with the request belong to the next step.
        ListenCase{"PromptsKept", {{0, Cat({kTaxi, Text("11")})}},
                   {Request(R"("form":"taxi","crc_ok":true)")}, true, Text("11")},
        ListenCase{"PromptsAloneAreNoRequest", {{0, Text("1111")}, {2000, Text("11")}}, {}, false, {}},
        ListenCase{"BadCrcOnly", {{0, WithBadCrc(RequestBytes(ImageType::kOther))}},
                   {Request(R"("form":"packet","image_type":"0xff","crc_ok":false)")}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::sim
