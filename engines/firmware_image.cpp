#include "engines/firmware_image.h"

#include <cstring>
#include <filesystem>
#include <limits>
#include <new>

namespace flashkit {
namespace {

uint64_t RoundUp(uint64_t size, uint32_t block) { return (size + block - 1) / block * block; }

}  // namespace

bool ImageFitsAbove(uint32_t address, uint64_t size, uint32_t block) {
  constexpr uint64_t kAddressSpace = uint64_t{1} << 32;
  if (block == 0 || size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return false;
  return RoundUp(size, block) <= kAddressSpace - address;
}

FirmwareImage::~FirmwareImage() { Close(); }

bool FirmwareImage::Open(const std::string& name) {
  Close();
  // A folder opens for reading too, but measures as nonsense and reads as
  // nothing; only plain files are images.
  std::error_code error;
  if (!std::filesystem::is_regular_file(name, error)) return false;
  file_ = std::fopen(name.c_str(), "rb");
  return file_ != nullptr;
}

void FirmwareImage::Close() {
  Release();
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

std::optional<uint64_t> FirmwareImage::Measure() {
  if (file_ == nullptr || std::fseek(file_, 0, SEEK_END) != 0) return std::nullopt;
  const long end = std::ftell(file_);
  if (end < 0 || std::fseek(file_, 0, SEEK_SET) != 0) return std::nullopt;
  return static_cast<uint64_t>(end);
}

bool FirmwareImage::Load(uint64_t size, uint32_t block) {
  Release();
  if (file_ == nullptr || block == 0) return false;
  const uint64_t rounded = RoundUp(size, block);
  if (rounded > std::numeric_limits<size_t>::max()) return false;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[static_cast<size_t>(rounded)]);
  if (buffer == nullptr) return false;
  std::memset(buffer.get(), 0xFF, static_cast<size_t>(rounded));
  // A file that shrank since it was measured would leave 0xFF where its data
  // was meant to be; better to fail the attempt than to write that.
  if (std::fread(buffer.get(), 1, static_cast<size_t>(size), file_) != size) return false;
  buffer_ = std::move(buffer);
  size_ = size;
  return true;
}

void FirmwareImage::Release() {
  buffer_.reset();
  size_ = 0;
}

}  // namespace flashkit
