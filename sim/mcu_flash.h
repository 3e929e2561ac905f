#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace flashkit::sim {

// The flash of the simulated microcontroller: pages that start erased to
// 0xFF. A write stores its bytes as given; it also says whether any of them
// had been written since their page was last erased, which a real part
// would not program correctly without an erase first. A stuck bit is a cell
// that no longer holds a 1: it reads 0 whatever was written or erased.
// Not thread-safe.
class McuFlash {
 public:
  McuFlash(uint32_t base, uint32_t size, uint32_t page_bytes);

  uint32_t base() const { return base_; }
  uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }
  uint32_t pages() const { return size() / page_bytes_; }

  // Whether [address, address + length) lies wholly in the flash.
  bool Contains(uint32_t address, uint64_t length) const;

  // From now on bit `bit` (0-7) of the byte at `address`, which Contains
  // must have allowed, reads 0.
  void StickBit(uint32_t address, uint8_t bit);

  void EraseAll();
  // False, and nothing erased, for a page beyond the last.
  bool ErasePage(uint32_t page);

  // Stores `data` at `address`, which Contains must have allowed, but for
  // its stuck bits; true when the write was dirty.
  bool Write(uint32_t address, std::span<const uint8_t> data);

  // The bytes at `address`, which Contains must have allowed.
  std::span<const uint8_t> Read(uint32_t address, uint32_t length) const;

  std::span<const uint8_t> bytes() const { return bytes_; }

  // Writes the whole flash to `path`; false when it cannot be written in full.
  bool Dump(const std::filesystem::path& path) const;

 private:
  uint32_t base_;
  uint32_t page_bytes_;
  std::vector<uint8_t> bytes_;
  std::vector<bool> written_;  // since the byte's page was last erased
  struct Stuck {
    uint32_t offset;
    uint8_t keep;  // the mask of the bits that still work
  };
  std::vector<Stuck> stuck_;

  // Clears the stuck bits in [offset, offset + length).
  void ApplyStuck(uint32_t offset, uint64_t length);
};

}  // namespace flashkit::sim
