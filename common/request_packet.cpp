#include "common/request_packet.h"

#include <algorithm>

namespace flashkit {
namespace {

constexpr uint8_t kBody[8] = {0x01, 0x0B, 0x01, 0x0E, 0x01, 0x00, 0x00, 0x00};
constexpr size_t kTypeOffset = 6;

constexpr uint8_t kTaxi[] = {0x02, 0x05, 0xFF, 0x03, 0xFB};
constexpr uint8_t kDg[] = {0x02, 0x00, 0x01, 0x44, 0x03, 0x45};
constexpr uint8_t kIapDg[] = {0x02, 0x00, 0x01, 0x80, 0x03, 0x45};

constexpr ShortRequest kShortRequests[] = {
    {RequestForm::kTaxi, "taxi", kTaxi},
    {RequestForm::kDg, "dg", kDg},
    {RequestForm::kIapDg, "iap-dg", kIapDg},
};

}  // namespace

void RequestPacket::Fill(ImageType type, const Crc16Table& crc) {
  bytes[0] = kRequestStx;
  std::copy(std::begin(kBody), std::end(kBody), bytes.begin() + 1);
  bytes[kTypeOffset] = static_cast<uint8_t>(type);
  const uint16_t sum = crc.Compute(bytes.data() + 1, 8);
  bytes[9] = static_cast<uint8_t>(sum >> 8);
  bytes[10] = static_cast<uint8_t>(sum & 0xFF);
  bytes[11] = kRequestEtx;
}

std::span<const ShortRequest> ShortRequests() { return kShortRequests; }

std::optional<ParsedRequest> ParseRequest(std::span<const uint8_t> bytes, const Crc16Table& crc,
                                          bool* need_more) {
  *need_more = false;
  if (bytes.empty()) {
    *need_more = true;
    return std::nullopt;
  }
  if (bytes[0] != kRequestStx) return std::nullopt;

  bool any_prefix = false;
  for (const ShortRequest& r : kShortRequests) {
    const size_t n = std::min(bytes.size(), r.bytes.size());
    if (!std::equal(r.bytes.begin(), r.bytes.begin() + n, bytes.begin())) continue;
    if (n == r.bytes.size()) return ParsedRequest{r.form, n, std::nullopt, true};
    any_prefix = true;
  }

  // The packet: fixed body apart from the type byte, then CRC and ETX.
  bool packet_prefix = true;
  for (size_t i = 1; i < std::min<size_t>(bytes.size(), 9); ++i) {
    if (i != kTypeOffset && bytes[i] != kBody[i - 1]) packet_prefix = false;
  }
  if (packet_prefix) {
    if (bytes.size() < kRequestPacketSize) {
      *need_more = true;
      return std::nullopt;
    }
    if (bytes[11] == kRequestEtx) {
      const uint16_t sum = crc.Compute(bytes.data() + 1, 8);
      const bool ok = bytes[9] == (sum >> 8) && bytes[10] == (sum & 0xFF);
      return ParsedRequest{RequestForm::kPacket, kRequestPacketSize, bytes[kTypeOffset], ok};
    }
  }
  *need_more = any_prefix;
  return std::nullopt;
}

}  // namespace flashkit
