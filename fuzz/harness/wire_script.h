#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fuzz/harness/fuzz_input.h"

namespace flashkit::fuzz {

// What the far side sends, as the rest of the fuzzer's input: a chunk comes
// at the start and one more after each write, each chunk a delay byte (in
// 100 ms), a two-byte length (high byte first) and that many bytes. A
// harness hands each chunk to its fake's Arrive.
class WireScript {
 public:
  struct Chunk {
    uint64_t delay_ms;
    std::vector<uint8_t> bytes;
  };
  static constexpr uint64_t kDelayUnitMs = 100;

  explicit WireScript(FuzzInput& input) : input_(input) {}

  std::optional<Chunk> Next() {
    if (input_.Empty()) return std::nullopt;
    const uint64_t delay = input_.Byte() * kDelayUnitMs;
    const uint16_t length = input_.Word();
    return Chunk{delay, input_.Take(length)};
  }

 private:
  FuzzInput& input_;
};

}  // namespace flashkit::fuzz
