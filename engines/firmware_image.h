#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace flashkit {

// True when `size` bytes, padded to whole `block`-byte blocks, lie inside the
// 32-bit address space from `address` on, and the size still counts as a
// signed 32-bit number (it is traced and turned into progress with one).
bool ImageFitsAbove(uint32_t address, uint64_t size, uint32_t block);

// One image file of a download. The file stays open across the attempts of
// its image; every attempt reads it afresh into a new buffer padded with
// 0xFF to whole blocks.
class FirmwareImage {
 public:
  FirmwareImage() = default;
  ~FirmwareImage();
  FirmwareImage(const FirmwareImage&) = delete;
  FirmwareImage& operator=(const FirmwareImage&) = delete;

  // Opens the plain file `name` for reading relative to the current folder;
  // closes any file held before.
  bool Open(const std::string& name);
  // Releases the buffer and closes the file.
  void Close();
  bool is_open() const { return file_ != nullptr; }

  // The file's length, from its end; nothing when it cannot be measured.
  std::optional<uint64_t> Measure();
  // Drops the previous buffer, then reads `size` bytes into a fresh one of
  // whole blocks filled with 0xFF. False when the memory cannot be had or
  // the file gives fewer bytes; the buffer is then empty.
  bool Load(uint64_t size, uint32_t block);
  void Release();

  const uint8_t* data() const { return buffer_.get(); }
  uint64_t size() const { return size_; }

 private:
  std::FILE* file_ = nullptr;
  std::unique_ptr<uint8_t[]> buffer_;
  uint64_t size_ = 0;
};

}  // namespace flashkit
