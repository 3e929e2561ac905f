#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace flashkit {

// SHA-256, fed in pieces of any size, so an image is hashed as it streams by.
class Sha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  Sha256();
  void Update(const uint8_t* data, size_t size);
  void Update(std::span<const uint8_t> data) { Update(data.data(), data.size()); }
  // The digest of everything fed so far; the hasher then starts afresh.
  Digest Finish();

  // Lower-case hex digest of `data` in one go.
  static std::string Hex(std::span<const uint8_t> data);

 private:
  void Compress(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> block_{};
  size_t block_used_ = 0;
  uint64_t total_bytes_ = 0;
};

// `digest` as 64 lower-case hex digits, as sha256sum prints it.
std::string Sha256Hex(const Sha256::Digest& digest);

// The hex digest of the file at `path`, read in 64 KiB pieces; nothing when
// it cannot be opened or read to its end.
std::optional<std::string> Sha256OfFile(const std::string& path);

}  // namespace flashkit
