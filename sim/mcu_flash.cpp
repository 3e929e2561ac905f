#include "sim/mcu_flash.h"

#include <algorithm>
#include <fstream>

namespace flashkit::sim {

constexpr uint8_t kErased = 0xFF;

McuFlash::McuFlash(uint32_t base, uint32_t size, uint32_t page_bytes)
    : base_(base), page_bytes_(page_bytes), bytes_(size, kErased), written_(size, false) {}

bool McuFlash::Contains(uint32_t address, uint64_t length) const {
  return address >= base_ && address - base_ <= bytes_.size() &&
         length <= bytes_.size() - (address - base_);
}

void McuFlash::StickBit(uint32_t address, uint8_t bit) {
  const uint32_t offset = address - base_;
  stuck_.push_back({offset, static_cast<uint8_t>(~(1u << (bit & 7u)))});
  ApplyStuck(offset, 1);
}

void McuFlash::ApplyStuck(uint32_t offset, uint64_t length) {
  for (const Stuck& s : stuck_) {
    if (s.offset >= offset && s.offset - offset < length) bytes_[s.offset] &= s.keep;
  }
}

void McuFlash::EraseAll() {
  std::fill(bytes_.begin(), bytes_.end(), kErased);
  std::fill(written_.begin(), written_.end(), false);
  ApplyStuck(0, bytes_.size());
}

bool McuFlash::ErasePage(uint32_t page) {
  if (page >= pages()) return false;
  const auto first = static_cast<std::ptrdiff_t>(page) * page_bytes_;
  std::fill_n(bytes_.begin() + first, page_bytes_, kErased);
  std::fill_n(written_.begin() + first, page_bytes_, false);
  ApplyStuck(static_cast<uint32_t>(first), page_bytes_);
  return true;
}

bool McuFlash::Write(uint32_t address, std::span<const uint8_t> data) {
  const auto first = static_cast<std::ptrdiff_t>(address - base_);
  const auto marks = written_.begin() + first;
  const auto count = static_cast<std::ptrdiff_t>(data.size());
  const bool dirty = std::find(marks, marks + count, true) != marks + count;
  std::copy(data.begin(), data.end(), bytes_.begin() + first);
  std::fill_n(marks, count, true);
  ApplyStuck(static_cast<uint32_t>(first), data.size());
  return dirty;
}

std::span<const uint8_t> McuFlash::Read(uint32_t address, uint32_t length) const {
  return std::span<const uint8_t>(bytes_).subspan(address - base_, length);
}

bool McuFlash::Dump(const std::filesystem::path& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace flashkit::sim
