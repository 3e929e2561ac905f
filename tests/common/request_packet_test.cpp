#include "common/request_packet.h"

#include <gtest/gtest.h>

#include <vector>

namespace flashkit {
namespace {

using Bytes = std::vector<uint8_t>;

struct PacketCase {
  ImageType type;
  Bytes wire;
};

class RequestPacketFill : public ::testing::TestWithParam<PacketCase> {};

TEST_P(RequestPacketFill, WireBytes) {
  const Crc16Table crc;
  RequestPacket packet;
  packet.bytes.fill(0xEE);  // every byte must be written afresh
  packet.Fill(GetParam().type, crc);
  EXPECT_EQ(Bytes(packet.bytes.begin(), packet.bytes.end()), GetParam().wire);
}

INSTANTIATE_TEST_SUITE_P(
    ImageTypes, RequestPacketFill,
    ::testing::Values(
        PacketCase{ImageType::kIap, {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0x80, 0x00, 0x00, 0xFF, 0x65, 0x03}},
        PacketCase{ImageType::kVivi, {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0x81, 0x00, 0x00, 0x7F, 0x72, 0x03}},
        PacketCase{ImageType::kZImage, {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0x82, 0x00, 0x00, 0x7F, 0x4E, 0x03}},
        PacketCase{ImageType::kRoot, {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0x83, 0x00, 0x00, 0xFF, 0x59, 0x03}},
        PacketCase{ImageType::kOther, {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0xFF, 0x00, 0x00, 0x79, 0x6A, 0x03}}));

TEST(ShortRequests, FixedBytes) {
  const std::vector<std::pair<RequestForm, Bytes>> expected = {
      {RequestForm::kTaxi, {0x02, 0x05, 0xFF, 0x03, 0xFB}},
      {RequestForm::kDg, {0x02, 0x00, 0x01, 0x44, 0x03, 0x45}},
      {RequestForm::kIapDg, {0x02, 0x00, 0x01, 0x80, 0x03, 0x45}},
  };
  ASSERT_EQ(ShortRequests().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(ShortRequests()[i].form, expected[i].first);
    EXPECT_EQ(Bytes(ShortRequests()[i].bytes.begin(), ShortRequests()[i].bytes.end()),
              expected[i].second);
  }
}

// What a board makes of the bytes at the start of its input.
struct ParseCase {
  const char* name;
  Bytes input;
  bool found;
  RequestForm form;
  size_t length;
  int image_type;  // -1: none
  bool crc_ok;
  bool need_more;
};

class RequestParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(RequestParse, Recognises) {
  const Crc16Table crc;
  const ParseCase& c = GetParam();
  bool need_more = !c.need_more;
  auto parsed = ParseRequest(c.input, crc, &need_more);
  ASSERT_EQ(parsed.has_value(), c.found);
  EXPECT_EQ(need_more, c.need_more);
  if (!parsed) return;
  EXPECT_EQ(parsed->form, c.form);
  EXPECT_EQ(parsed->length, c.length);
  EXPECT_EQ(parsed->crc_ok, c.crc_ok);
  EXPECT_EQ(parsed->image_type ? int(*parsed->image_type) : -1, c.image_type);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RequestParse,
    ::testing::Values(
        ParseCase{"PacketOther", {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0xFF, 0x00, 0x00, 0x79, 0x6A, 0x03, '1'},
                  true, RequestForm::kPacket, 12, 0xFF, true, false},
        ParseCase{"PacketBadCrc", {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0x80, 0x00, 0x00, 0x79, 0x6A, 0x03},
                  true, RequestForm::kPacket, 12, 0x80, false, false},
        ParseCase{"PacketHalf", {0x02, 0x01, 0x0B, 0x01, 0x0E}, false, RequestForm::kPacket, 0, -1, false, true},
        ParseCase{"Taxi", {0x02, 0x05, 0xFF, 0x03, 0xFB}, true, RequestForm::kTaxi, 5, -1, true, false},
        ParseCase{"Dg", {0x02, 0x00, 0x01, 0x44, 0x03, 0x45}, true, RequestForm::kDg, 6, -1, true, false},
        ParseCase{"IapDg", {0x02, 0x00, 0x01, 0x80, 0x03, 0x45}, true, RequestForm::kIapDg, 6, -1, true, false},
        ParseCase{"ShortPrefix", {0x02, 0x00, 0x01}, false, RequestForm::kPacket, 0, -1, false, true},
        ParseCase{"Empty", {}, false, RequestForm::kPacket, 0, -1, false, true},
        ParseCase{"NotStx", {'1', 0x02}, false, RequestForm::kPacket, 0, -1, false, false},
        ParseCase{"BrokenBody", {0x02, 0x01, 0x0C}, false, RequestForm::kPacket, 0, -1, false, false},
        ParseCase{"NoEtx", {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0xFF, 0x00, 0x00, 0x79, 0x6A, 0x04},
                  false, RequestForm::kPacket, 0, -1, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit
