#include "sim/leftover_port.h"

#include <algorithm>

#include "protocol/block_frame.h"

namespace flashkit::sim {

LeftoverPort::LeftoverPort(Port& line, std::span<const uint8_t> leftover)
    : line_(line), leftover_(leftover.begin(), leftover.end()), start_given_(BlockBegun()) {}

bool LeftoverPort::BlockBegun() const {
  return !leftover_.empty() && xfer::BlockSizeFor(leftover_[0]) != 0;
}

// A host that took a late answer to its prompts for the receiver's start and
// began block 0 would read a second 'C' ahead of the ACK as a refusal of that
// block, send it again, and meet a receiver that already waits for block 1.
int32_t LeftoverPort::Write(const uint8_t* data, uint32_t length, uint32_t timeout_ms,
                            bool use_usb) {
  if (start_given_ && length == 1) {
    start_given_ = false;
    return 1;
  }
  start_given_ = false;
  return line_.Write(data, length, timeout_ms, use_usb);
}

int32_t LeftoverPort::Read(uint8_t* buffer, uint32_t length, uint32_t timeout_ms, bool use_usb) {
  if (next_ == leftover_.size()) return line_.Read(buffer, length, timeout_ms, use_usb);
  // Like a port that had these bytes waiting: they come at once, without the line.
  const size_t n = std::min<size_t>(length, leftover_.size() - next_);
  std::copy_n(leftover_.begin() + static_cast<long>(next_), n, buffer);
  next_ += n;
  return static_cast<int32_t>(n);
}

}  // namespace flashkit::sim
