#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/crc16_table.h"

namespace flashkit {

// What the device is told it will receive.
enum class ImageType : uint8_t {
  kIap = 0x80,
  kVivi = 0x81,
  kZImage = 0x82,
  kRoot = 0x83,
  kOther = 0xFF,
};

inline constexpr size_t kRequestPacketSize = 12;
inline constexpr uint8_t kRequestStx = 0x02;
inline constexpr uint8_t kRequestEtx = 0x03;

// The 12-byte request: STX, an 8-byte body, the body's CRC high byte first, ETX.
struct RequestPacket {
  std::array<uint8_t, kRequestPacketSize> bytes{};

  // Fills every byte afresh for `type`, sealing the body with `crc`.
  void Fill(ImageType type, const Crc16Table& crc);
};

// The short fixed request forms some boards expect instead of the packet.
enum class RequestForm { kPacket, kTaxi, kDg, kIapDg };

struct ShortRequest {
  RequestForm form;
  std::string_view name;
  std::span<const uint8_t> bytes;
};

// The three short forms, in the order a board should try to match them.
std::span<const ShortRequest> ShortRequests();

// Looks at the start of `bytes` for a complete request of any form.
struct ParsedRequest {
  RequestForm form;
  size_t length;                     // bytes the request takes
  std::optional<uint8_t> image_type; // the packet's type byte
  bool crc_ok;                       // false when the packet's CRC does not match its body
};
// Returns nothing while `bytes` could still be the start of a request
// (`need_more` set) or when it cannot be one (`need_more` clear).
std::optional<ParsedRequest> ParseRequest(std::span<const uint8_t> bytes, const Crc16Table& crc,
                                          bool* need_more);

}  // namespace flashkit
