#include "engines/usb_frames.h"

#include <algorithm>
#include <cstring>

namespace flashkit {
namespace {

// Looked up in this order; the last row takes every other name.
constexpr UsbImageKind kKinds[] = {
    {"iap", ImageType::kIap, UsbFlow::kSizeAnnounced, ""},
    {"vivi", ImageType::kVivi, UsbFlow::kNamedImage, "vivi"},
    {"zImage", ImageType::kZImage, UsbFlow::kNamedImage, "kernel"},
    {"root", ImageType::kRoot, UsbFlow::kNamedImage, "root"},
    {"", ImageType::kOther, UsbFlow::kSizeAnnounced, ""},
};

struct PayloadRow {
  std::string_view prefix;
  int32_t payload;
};
// Boards whose receivers take larger frames.
constexpr PayloadRow kPayloads[] = {{"ZQT410", 60}, {"WDN-500I", 60}};
constexpr int32_t kDefaultPayload = 32;

struct FlowDigits {
  UsbFlow flow;
  int digits;
};
constexpr FlowDigits kSizeDigits[] = {{UsbFlow::kSizeAnnounced, 8}, {UsbFlow::kNamedImage, 7}};

int DigitsOf(UsbFlow flow) {
  return std::find_if(std::begin(kSizeDigits), std::end(kSizeDigits),
                      [flow](const FlowDigits& row) { return row.flow == flow; })
      ->digits;
}

// Zero-padded decimal in exactly `digits` places.
void PutDigits(uint8_t* at, uint32_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i) {
    at[i] = static_cast<uint8_t>('0' + value % 10);
    value /= 10;
  }
}

// Starts a frame of `type` whose payload takes `payload` bytes; LEN and ETX
// are in place, the payload is left to the caller.
UsbFrame Begin(uint8_t type, uint32_t payload) {
  UsbFrame frame;
  frame.bytes[0] = kFrameStx;
  frame.bytes[1] = static_cast<uint8_t>(payload + 1);
  frame.bytes[2] = type;
  frame.bytes[3 + payload] = kFrameEtx;
  frame.length = payload + 4;
  return frame;
}

}  // namespace

const UsbImageKind& UsbImageKindOf(std::string_view file_name) {
  return *std::find_if(std::begin(kKinds), std::end(kKinds), [file_name](const UsbImageKind& kind) {
    return file_name.starts_with(kind.prefix);
  });
}

int32_t UsbPayloadSize(std::string_view file_name) {
  for (const PayloadRow& row : kPayloads) {
    if (file_name.starts_with(row.prefix)) return row.payload;
  }
  return kDefaultPayload;
}

uint32_t UsbMaxImageSize(UsbFlow flow) {
  uint32_t limit = 1;
  for (int i = 0; i < DigitsOf(flow); ++i) limit *= 10;
  return limit - 1;
}

UsbFrame SizeFrame(uint32_t image_size) {
  const int digits = DigitsOf(UsbFlow::kSizeAnnounced);
  UsbFrame frame = Begin(kSizeFrameType, static_cast<uint32_t>(digits));
  PutDigits(&frame.bytes[3], image_size, digits);
  return frame;
}

UsbFrame HeaderFrame(const UsbImageKind& kind, uint32_t image_size) {
  const int digits = DigitsOf(UsbFlow::kNamedImage);
  const uint32_t name_length = static_cast<uint32_t>(kind.header_name.size());
  UsbFrame frame = Begin(static_cast<uint8_t>(kind.type), name_length + 1 + digits);
  std::memcpy(&frame.bytes[3], kind.header_name.data(), name_length);
  frame.bytes[3 + name_length] = 0x00;
  PutDigits(&frame.bytes[4 + name_length], image_size, digits);
  return frame;
}

UsbFrame DataFrame(const uint8_t* image, uint32_t image_size, uint32_t offset, uint32_t payload) {
  payload = std::min(payload, kMaxUsbFrame - 4);
  UsbFrame frame = Begin(kDataFrameType, payload);
  const uint32_t taken = offset < image_size ? std::min(payload, image_size - offset) : 0;
  if (taken > 0) std::memcpy(&frame.bytes[3], image + offset, taken);
  std::memset(&frame.bytes[3 + taken], 0xFF, payload - taken);
  return frame;
}

UsbFrame EndFrame(bool run) { return Begin(run ? kEndRunType : kEndFinishType, 0); }

}  // namespace flashkit
