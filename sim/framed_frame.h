#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace flashkit::sim {

// The frames of flashpanel's USB download: STX, LEN, a type byte, LEN - 1
// payload bytes, ETX; no checksum.
inline constexpr uint8_t kFrameStx = 0x02;
inline constexpr uint8_t kFrameEtx = 0x03;
// Bytes around the type and payload: STX, LEN, ETX.
inline constexpr size_t kFrameOverhead = 3;

enum class FrameKind { kSize, kHeader, kData, kEnd };

struct FrameType {
  uint8_t type;
  FrameKind kind;
  std::string_view name;  // the image a header names; "run"/"finish" for an end frame
  uint8_t min_len;
  uint8_t max_len;
};

// What a type byte means and which LEN it may come with; nothing for a type
// the device does not know.
std::optional<FrameType> LookUpFrameType(uint8_t type);

// The size a size frame's eight digits or a header's seven give; nothing when
// they are not all decimal digits.
std::optional<uint32_t> DecimalSize(std::span<const uint8_t> digits);

struct HeaderFields {
  std::string name;
  uint32_t size = 0;
};

// A header frame's payload: the name of its type, a zero byte, seven digits.
// Nothing, with the reason in `error`, when it holds anything else.
std::optional<HeaderFields> ParseHeader(const FrameType& type, std::span<const uint8_t> payload,
                                        std::string* error);

}  // namespace flashkit::sim
