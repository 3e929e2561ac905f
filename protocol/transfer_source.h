#pragma once

#include <cstdint>

namespace flashkit {

// Where the sender pulls its data from.
class TransferSource {
 public:
  // Bytes placed (1 to capacity), 0 at the end of the data, or a negative status.
  virtual int32_t ReadChunk(uint8_t* buffer, uint32_t capacity) = 0;
  virtual ~TransferSource() = default;
};

}  // namespace flashkit
