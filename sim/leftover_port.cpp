#include "sim/leftover_port.h"

#include <algorithm>

namespace flashkit::sim {

LeftoverPort::LeftoverPort(Port& line, std::span<const uint8_t> leftover)
    : line_(line), leftover_(leftover.begin(), leftover.end()) {}

int32_t LeftoverPort::Read(uint8_t* buffer, uint32_t length, uint32_t timeout_ms, bool use_usb) {
  if (next_ == leftover_.size()) return line_.Read(buffer, length, timeout_ms, use_usb);
  // Like a port that had these bytes waiting: they come at once, without the line.
  const size_t n = std::min<size_t>(length, leftover_.size() - next_);
  std::copy_n(leftover_.begin() + static_cast<long>(next_), n, buffer);
  next_ += n;
  return static_cast<int32_t>(n);
}

}  // namespace flashkit::sim
