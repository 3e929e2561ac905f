#include "sim/image_store.h"

#include <fstream>
#include <system_error>

#include "common/sha256.h"
#include "ports/status.h"

namespace flashkit::sim {

int32_t StoreImage(const std::filesystem::path& dir, const std::string& file_name,
                   std::span<const uint8_t> data, StoredImage* stored) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  const std::filesystem::path path = dir / file_name;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return status::kSinkFailed;
  file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  file.close();
  if (!file) return status::kSinkFailed;
  stored->path = path.string();
  stored->sha256 = Sha256::Hex(data);
  return status::kOk;
}

std::string UnusedFileName(const std::filesystem::path& dir, const std::string& prefix,
                           const std::string& suffix) {
  // Past this many the last name is used again rather than searching on.
  constexpr unsigned kMaxNumber = 100000;
  std::string name;
  for (unsigned n = 1; n <= kMaxNumber; ++n) {
    name = prefix + std::to_string(n) + suffix;
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(dir / name, error))) break;
  }
  return name;
}

}  // namespace flashkit::sim
