#include "sim/framed_frame.h"

#include <algorithm>

namespace flashkit::sim {
namespace {

constexpr size_t kHeaderDigits = 7;

// A data frame carries 1 to 60 image bytes: the host sends 60 or 32, and a
// frame never outgrows the device's 64-byte frame buffer.
constexpr FrameType kFrameTypes[] = {
    {0xFF, FrameKind::kSize, "", 9, 9},
    {0x81, FrameKind::kHeader, "vivi", 13, 13},
    {0x82, FrameKind::kHeader, "kernel", 15, 15},
    {0x83, FrameKind::kHeader, "root", 13, 13},
    {0xFE, FrameKind::kData, "", 2, 61},
    {0xFC, FrameKind::kEnd, "run", 1, 1},
    {0xFB, FrameKind::kEnd, "finish", 1, 1},
};

}  // namespace

std::optional<FrameType> LookUpFrameType(uint8_t type) {
  const auto row = std::find_if(std::begin(kFrameTypes), std::end(kFrameTypes),
                                [type](const FrameType& t) { return t.type == type; });
  if (row == std::end(kFrameTypes)) return std::nullopt;
  return *row;
}

std::optional<uint32_t> DecimalSize(std::span<const uint8_t> digits) {
  uint32_t size = 0;
  for (uint8_t d : digits) {
    if (d < '0' || d > '9') return std::nullopt;
    size = size * 10 + (d - '0');
  }
  return size;
}

std::optional<HeaderFields> ParseHeader(const FrameType& type, std::span<const uint8_t> payload,
                                        std::string* error) {
  const size_t name_length = type.name.size();
  if (payload.size() != name_length + 1 + kHeaderDigits ||
      !std::equal(type.name.begin(), type.name.end(), payload.begin()) ||
      payload[name_length] != 0x00) {
    *error = "header does not name " + std::string(type.name);
    return std::nullopt;
  }
  const std::optional<uint32_t> size = DecimalSize(payload.subspan(name_length + 1));
  if (!size) {
    *error = "header size is not decimal";
    return std::nullopt;
  }
  return HeaderFields{std::string(type.name), *size};
}

}  // namespace flashkit::sim
