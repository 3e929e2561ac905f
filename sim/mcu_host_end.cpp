#include "sim/mcu_host_end.h"

namespace flashkit::sim {

bool McuHostEnd::Probe() {
  std::vector<EnteredBytes> taken;
  if (!pty_.Take(taken)) return false;
  for (EnteredBytes& entered : taken) early_.push_back(std::move(entered));
  closed_ = false;
  return true;
}

bool McuHostEnd::Take(std::vector<EnteredBytes>& out) {
  for (EnteredBytes& entered : early_) out.push_back(std::move(entered));
  early_.clear();
  if (pty_.Take(out)) return true;
  closed_ = true;
  return false;
}

long McuHostEnd::Give(std::span<const uint8_t> bytes) {
  const long given = pty_.Give(bytes);
  if (given < 0) closed_ = true;
  return given;
}

}  // namespace flashkit::sim
