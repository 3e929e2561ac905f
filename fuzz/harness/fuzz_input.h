#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace flashkit::fuzz {

// The fuzzer's bytes, taken from the front. Past the end every byte is 0 and
// every chunk empty, so a harness never has to check what is left.
class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  uint8_t Byte() { return Empty() ? 0 : data_[pos_++]; }
  uint16_t Word() {
    const uint16_t high = Byte();
    return static_cast<uint16_t>(high << 8 | Byte());
  }
  std::vector<uint8_t> Take(size_t count) {
    const size_t n = std::min(count, size_ - std::min(pos_, size_));
    std::vector<uint8_t> taken(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    return taken;
  }
  std::string TakeText(size_t count) {
    const std::vector<uint8_t> bytes = Take(count);
    return {bytes.begin(), bytes.end()};
  }
  std::vector<uint8_t> Rest() { return Take(size_); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace flashkit::fuzz
