#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "common/request_packet.h"

namespace flashkit {

// The USB framed download: STX, LEN (type byte plus payload), type, payload,
// ETX; no checksum.

enum class UsbFlow {
  // Request packet, reconnect, size frame, then data frames each answered
  // by one byte, sent by a thread of their own.
  kSizeAnnounced,
  // Header frame naming the image, data frames back to back, end frame
  // with the condition; all on the dialog's thread.
  kNamedImage,
};

struct UsbImageKind {
  std::string_view prefix;       // start of the bare file name; empty matches any
  ImageType type;
  UsbFlow flow;
  std::string_view header_name;  // what the named flow's header frame calls it
};

// The kind a bare file name stands for (prefixes compared case-sensitively).
const UsbImageKind& UsbImageKindOf(std::string_view file_name);

// Image bytes per data frame of the size-announced flow.
int32_t UsbPayloadSize(std::string_view file_name);
// The named-image flow always sends 60 image bytes a frame.
inline constexpr int32_t kNamedPayloadSize = 60;

// The largest image the flow's size field can describe: 8 digits in the
// size frame, 7 in the header frame.
uint32_t UsbMaxImageSize(UsbFlow flow);

inline constexpr uint8_t kFrameStx = 0x02;
inline constexpr uint8_t kFrameEtx = 0x03;
inline constexpr uint8_t kDataFrameType = 0xFE;
inline constexpr uint8_t kEndRunType = 0xFC;
inline constexpr uint8_t kEndFinishType = 0xFB;
inline constexpr uint8_t kSizeFrameType = 0xFF;
// What the device sends when a named image has arrived whole.
inline constexpr uint8_t kUsbAck = 0x06;

// The longest frame: 60 image bytes and four framing bytes.
inline constexpr uint32_t kMaxUsbFrame = kNamedPayloadSize + 4;

// One frame, built in place without allocation.
struct UsbFrame {
  std::array<uint8_t, kMaxUsbFrame> bytes{};
  uint32_t length = 0;

  const uint8_t* data() const { return bytes.data(); }
};

// Sizes past UsbMaxImageSize of their flow are refused before any frame is
// built; the builders keep to their digits all the same.
UsbFrame SizeFrame(uint32_t image_size);
UsbFrame HeaderFrame(const UsbImageKind& kind, uint32_t image_size);
// `payload` bytes of `image` from `offset`; past the image's end the frame
// is filled with 0xFF.
UsbFrame DataFrame(const uint8_t* image, uint32_t image_size, uint32_t offset, uint32_t payload);
UsbFrame EndFrame(bool run);

}  // namespace flashkit
