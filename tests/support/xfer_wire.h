#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "tests/support/fake_port.h"

// What a correct X/YMODEM peer puts on the wire, built independently of the
// engine so tests can compare frames byte for byte.
namespace flashkit::testing {

inline constexpr uint8_t kSohByte = 0x01;
inline constexpr uint8_t kStxByte = 0x02;
inline constexpr uint8_t kEotByte = 0x04;
inline constexpr uint8_t kAckByte = 0x06;
inline constexpr uint8_t kNakByte = 0x15;
inline constexpr uint8_t kCanByte = 0x18;

enum class Check { kSum, kCrc };

// The textbook byte-wise CRC-16/XMODEM.
uint16_t ReferenceCrc(const Bytes& data);

// A data frame: `start` (SOH or STX) decides the field size; a short payload
// is filled with 0x1A.
Bytes DataFrame(uint8_t start, uint8_t number, const Bytes& payload, Check check);

// The 128-byte data field of YMODEM block 0: name, zero, digits, zeros.
Bytes HeaderField(std::string_view name, std::string_view digits);

// `count` bytes of `data` from `offset`.
Bytes Slice(const Bytes& data, size_t offset, size_t count);

// Deterministic file content that exercises every byte value.
Bytes Pattern(size_t length);

// Frame-by-frame comparison that names the first differing frame and byte.
::testing::AssertionResult SameFrames(const std::vector<Bytes>& actual,
                                      const std::vector<Bytes>& expected);

// Concatenation, for scripts that send several frames at once.
Bytes Join(std::initializer_list<Bytes> parts);

}  // namespace flashkit::testing
