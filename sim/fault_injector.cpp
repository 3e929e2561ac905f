#include "sim/fault_injector.h"

namespace flashkit::sim {
namespace {

std::mt19937_64 SeededEngine(uint64_t seed, uint32_t direction) {
  std::seed_seq seq{static_cast<uint32_t>(seed), static_cast<uint32_t>(seed >> 32), direction};
  return std::mt19937_64(seq);
}

}  // namespace

FaultInjector::FaultInjector(FaultRates rates, uint64_t seed, uint32_t direction)
    : rates_(rates), rng_(SeededEngine(seed, direction)) {}

bool FaultInjector::Chance(double rate) {
  if (rate <= 0) return false;
  // 53 random bits as a fraction in [0, 1): the same on every library.
  const double u = static_cast<double>(rng_() >> 11) * 0x1.0p-53;
  return u < rate;
}

std::optional<uint8_t> FaultInjector::Pass(uint8_t byte) {
  if (Chance(rates_.drop)) {
    ++counts_.dropped;
    return std::nullopt;
  }
  if (Chance(rates_.corrupt)) {
    const uint8_t mask = static_cast<uint8_t>(1 + rng_() % 255);
    byte ^= mask;
    ++counts_.corrupted;
  }
  ++counts_.delivered;
  return byte;
}

}  // namespace flashkit::sim
