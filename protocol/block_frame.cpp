#include "protocol/block_frame.h"

#include <algorithm>
#include <cstring>

#include "protocol/xfer_session.h"

namespace flashkit::xfer {
namespace {

struct BlockKind {
  uint8_t start_byte;
  uint32_t block_size;
};

constexpr BlockKind kBlockKinds[] = {
    {kSoh, kSmallBlock},
    {kStx, kLargeBlock},
};

// The check field for a data field, high byte first for the CRC.
void WriteCheck(uint8_t* out, const uint8_t* data, uint32_t block_size, bool use_crc) {
  if (use_crc) {
    const uint16_t crc = XferSession::BlockCrc(data, block_size);
    out[0] = static_cast<uint8_t>(crc >> 8);
    out[1] = static_cast<uint8_t>(crc);
  } else {
    out[0] = XferSession::BlockChecksum(data, block_size);
  }
}

}  // namespace

uint8_t StartByteFor(uint32_t block_size) {
  for (const BlockKind& kind : kBlockKinds) {
    if (kind.block_size == block_size) return kind.start_byte;
  }
  return 0;
}

uint32_t BlockSizeFor(uint8_t start_byte) {
  for (const BlockKind& kind : kBlockKinds) {
    if (kind.start_byte == start_byte) return kind.block_size;
  }
  return 0;
}

uint32_t BuildFrame(uint8_t* frame, uint8_t number, const uint8_t* data, uint32_t length,
                    uint32_t block_size, bool use_crc, uint32_t* taken) {
  const uint32_t count = std::min(length, block_size);
  *taken = count;
  if (count == 0) {
    frame[0] = kEot;
    return 1;
  }
  frame[0] = StartByteFor(block_size);
  frame[1] = number;
  frame[2] = static_cast<uint8_t>(~number);
  uint8_t* field = frame + kFrameHead;
  std::memcpy(field, data, count);
  std::memset(field + count, kFill, block_size - count);
  WriteCheck(field + block_size, field, block_size, use_crc);
  return FrameLength(block_size, use_crc);
}

bool CheckMatches(const uint8_t* data, uint32_t block_size, const uint8_t* check, bool use_crc) {
  uint8_t expected[2];
  WriteCheck(expected, data, block_size, use_crc);
  return std::memcmp(expected, check, CheckLength(use_crc)) == 0;
}

}  // namespace flashkit::xfer
