#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "protocol/transfer_source.h"
#include "tests/support/fake_port.h"

namespace flashkit::testing {

// Hands out a byte vector in chunks of at most `chunk` bytes.
class XferMemorySource : public TransferSource {
 public:
  explicit XferMemorySource(Bytes data, uint32_t chunk = 1024) : data_(std::move(data)), chunk_(chunk) {}

  // The Nth ReadChunk call (1-based) returns this status instead.
  std::optional<std::pair<int, int32_t>> fail_call;
  int calls = 0;

  int32_t ReadChunk(uint8_t* buffer, uint32_t capacity) override {
    ++calls;
    if (fail_call && fail_call->first == calls) return fail_call->second;
    const size_t n = std::min<size_t>({capacity, chunk_, data_.size() - offset_});
    if (n > 0) std::memcpy(buffer, data_.data() + offset_, n);
    offset_ += n;
    return static_cast<int32_t>(n);
  }

 private:
  Bytes data_;
  uint32_t chunk_;
  size_t offset_ = 0;
};

}  // namespace flashkit::testing
