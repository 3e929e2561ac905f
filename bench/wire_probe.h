#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/device.h"

namespace flashkit::bench {

// What came out of the far end of a line, and when.
struct ProbeResult {
  std::vector<uint8_t> received;
  uint64_t start_ns = 0;   // when writing began
  uint64_t first_ns = 0;   // the first read that brought bytes
  size_t first_count = 0;  // how many it brought
  uint64_t last_ns = 0;    // the read that brought the last byte
};

// Writes `payload` into `from` on a thread of its own while reading from `to`
// until as many bytes came back or `limit_ms` passed, stamping the reads on
// platform::MonotonicNs.
ProbeResult ProbeWire(platform::Device& from, platform::Device& to,
                      std::span<const uint8_t> payload, uint32_t limit_ms);

// Characters per second over the reads after the first: those bytes took
// from the first read to the last to arrive. 0 when that cannot be told.
double MeasuredRate(const ProbeResult& result);

}  // namespace flashkit::bench
