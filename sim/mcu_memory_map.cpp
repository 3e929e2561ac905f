#include "sim/mcu_memory_map.h"

#include <algorithm>
#include <span>

namespace flashkit::sim {
namespace {

// As the part leaves the factory: read protection off, no write protection.
constexpr uint8_t kOptionBytes[] = {0xA5, 0x5A, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00,
                                    0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};

struct FixedRegion {
  uint32_t start;
  uint32_t size;
  bool runnable;
  std::span<const uint8_t> contents;  // empty: reads as zeros
};

constexpr FixedRegion kRegions[] = {
    {0x20000000, 20 * 1024, true, {}},                  // RAM
    {0x1FFFF000, 2 * 1024, false, {}},                  // system memory
    {0x1FFFF800, sizeof kOptionBytes, false, kOptionBytes},  // option bytes
};

bool Within(uint32_t start, uint64_t size, uint32_t address, uint64_t length) {
  return address >= start && address - start < size && length <= size - (address - start);
}

}  // namespace

std::optional<std::vector<uint8_t>> McuMemoryMap::Read(uint32_t address, uint32_t length) const {
  if (flash_.Contains(address, length)) {
    const auto bytes = flash_.Read(address, length);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
  }
  for (const FixedRegion& region : kRegions) {
    if (!Within(region.start, region.size, address, length)) continue;
    std::vector<uint8_t> out(length, 0);
    if (!region.contents.empty()) {
      std::copy_n(region.contents.begin() + (address - region.start), length, out.begin());
    }
    return out;
  }
  return std::nullopt;
}

bool McuMemoryMap::Runnable(uint32_t address) const {
  if (flash_.Contains(address, 1)) return true;
  return std::any_of(std::begin(kRegions), std::end(kRegions), [address](const FixedRegion& r) {
    return r.runnable && Within(r.start, r.size, address, 1);
  });
}

}  // namespace flashkit::sim
