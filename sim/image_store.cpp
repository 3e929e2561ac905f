#include "sim/image_store.h"

#include <fstream>
#include <system_error>

#include "ports/status.h"
#include "sim/sha256.h"

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

}  // namespace flashkit::sim
