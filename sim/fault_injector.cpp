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

uint8_t FaultInjector::Damage(uint8_t byte) {
  ++counts_.corrupted;
  return static_cast<uint8_t>(byte ^ (1 + rng_() % 255));
}

void FaultInjector::Pass(uint8_t byte, std::vector<uint8_t>& out) {
  // A running burst damages every byte it covers, whatever else happens.
  if (burst_left_ == 0 && Chance(rates_.burst) && rates_.burst_bytes > 0) {
    ++counts_.bursts;
    burst_left_ = rates_.burst_bytes;
  }
  if (burst_left_ > 0) {
    --burst_left_;
    out.push_back(Damage(byte));
    ++counts_.delivered;
  } else if (Chance(rates_.drop)) {
    ++counts_.dropped;
  } else {
    out.push_back(Chance(rates_.corrupt) ? Damage(byte) : byte);
    ++counts_.delivered;
  }
  if (Chance(rates_.insert)) {
    out.push_back(static_cast<uint8_t>(rng_()));
    ++counts_.inserted;
    ++counts_.delivered;
  }
}

}  // namespace flashkit::sim
