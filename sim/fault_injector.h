#pragma once

#include <cstdint>
#include <optional>
#include <random>

namespace flashkit::sim {

// Chances, from 0 to 1, that a byte is lost or damaged on the line.
struct FaultRates {
  double drop = 0;
  double corrupt = 0;

  bool any() const { return drop > 0 || corrupt > 0; }
};

struct LineCounts {
  uint64_t delivered = 0;  // came out at the far end, damaged or not
  uint64_t dropped = 0;
  uint64_t corrupted = 0;
};

// Decides the fate of each byte as it comes out of one direction of a line.
// The same seed, direction and byte count always give the same decisions.
class FaultInjector {
 public:
  FaultInjector(FaultRates rates, uint64_t seed, uint32_t direction);

  // The byte as it arrives, or nothing when the line lost it. A damaged
  // byte always differs from the one sent.
  std::optional<uint8_t> Pass(uint8_t byte);

  const LineCounts& counts() const { return counts_; }

 private:
  bool Chance(double rate);

  FaultRates rates_;
  std::mt19937_64 rng_;
  LineCounts counts_;
};

}  // namespace flashkit::sim
