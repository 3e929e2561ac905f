#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace flashkit::sim {

// Chances, from 0 to 1, of what the line does to a byte.
struct FaultRates {
  double drop = 0;     // the byte is lost
  double corrupt = 0;  // the byte arrives damaged
  double burst = 0;    // a burst starts: this byte and the next burst_bytes - 1 arrive damaged
  uint32_t burst_bytes = 16;
  double insert = 0;  // a stray byte arrives after this one (or where it was lost)

  bool any() const { return drop > 0 || corrupt > 0 || burst > 0 || insert > 0; }
};

struct LineCounts {
  uint64_t delivered = 0;  // came out at the far end, damaged or not, stray bytes included
  uint64_t dropped = 0;
  uint64_t corrupted = 0;  // in bursts too
  uint64_t bursts = 0;
  uint64_t inserted = 0;
};

// Decides the fate of each byte as it comes out of one direction of a line.
// The same seed, direction and byte count always give the same decisions, and
// a kind of fault whose rate is 0 draws nothing: adding one leaves the
// decisions of the others as they were.
class FaultInjector {
 public:
  FaultInjector(FaultRates rates, uint64_t seed, uint32_t direction);

  // Appends what arrives for `byte` to `out`: nothing when the line lost it,
  // the byte (damaged or not), and possibly a stray byte after it. A damaged
  // byte always differs from the one sent.
  void Pass(uint8_t byte, std::vector<uint8_t>& out);

  const LineCounts& counts() const { return counts_; }

 private:
  bool Chance(double rate);
  uint8_t Damage(uint8_t byte);

  FaultRates rates_;
  std::mt19937_64 rng_;
  LineCounts counts_;
  uint32_t burst_left_ = 0;  // bytes the running burst still damages
};

}  // namespace flashkit::sim
