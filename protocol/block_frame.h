#pragma once

#include <cstdint>

namespace flashkit::xfer {

// Longest frame on the wire: start byte, number, complement, 1024 data
// bytes and a two-byte CRC.
inline constexpr uint32_t kMaxFrameLength = 1024 + 5;
inline constexpr uint32_t kSmallBlock = 128;
inline constexpr uint32_t kLargeBlock = 1024;
// Start byte, number and complement in front of the data field.
inline constexpr uint32_t kFrameHead = 3;

// The start byte that announces a data field of `block_size` bytes.
uint8_t StartByteFor(uint32_t block_size);
// The data field size a start byte announces; 0 for any other byte.
uint32_t BlockSizeFor(uint8_t start_byte);

inline uint32_t CheckLength(bool use_crc) { return use_crc ? 2 : 1; }
inline uint32_t FrameLength(uint32_t block_size, bool use_crc) {
  return kFrameHead + block_size + CheckLength(use_crc);
}

// Builds the frame for the next piece of `data` into `frame`: a data block of
// up to `block_size` bytes filled with 0x1A, or the lone EOT when `length` is
// 0. `taken` receives the data bytes the frame carries. Returns the frame's
// length.
uint32_t BuildFrame(uint8_t* frame, uint8_t number, const uint8_t* data, uint32_t length,
                    uint32_t block_size, bool use_crc, uint32_t* taken);

// True when the check field that follows the data field matches it.
bool CheckMatches(const uint8_t* data, uint32_t block_size, const uint8_t* check, bool use_crc);

}  // namespace flashkit::xfer
