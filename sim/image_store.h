#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace flashkit::sim {

struct StoredImage {
  std::string path;
  std::string sha256;  // lower-case hex
};

// Writes `data` to <dir>/<file_name>, making the folder if needed. 0, or
// -400 when the file cannot be written in full.
int32_t StoreImage(const std::filesystem::path& dir, const std::string& file_name,
                   std::span<const uint8_t> data, StoredImage* stored);

// "<prefix><n><suffix>" with the smallest n from 1 up that names no file in
// `dir` yet, so earlier files are kept.
std::string UnusedFileName(const std::filesystem::path& dir, const std::string& prefix,
                           const std::string& suffix);

}  // namespace flashkit::sim
