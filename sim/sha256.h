#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace flashkit::sim {

// SHA-256, fed in pieces of any size.
class Sha256 {
 public:
  Sha256();
  void Update(std::span<const uint8_t> data);
  std::array<uint8_t, 32> Finish();

  // Lower-case hex digest of `data`.
  static std::string Hex(std::span<const uint8_t> data);
  static std::string ToHex(const std::array<uint8_t, 32>& digest);

 private:
  void Compress(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> block_{};
  size_t block_used_ = 0;
  uint64_t total_bytes_ = 0;
};

}  // namespace flashkit::sim
