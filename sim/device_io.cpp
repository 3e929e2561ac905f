#include "sim/device_io.h"

namespace flashkit::sim {
namespace {
// Bounds one pass, so a program writing without pause cannot hold the pump.
constexpr size_t kMaxTakePerPass = 64 * 1024;
}  // namespace

bool TakeWaiting(platform::Device& from, std::vector<EnteredBytes>& out) {
  uint8_t buffer[4096];
  std::vector<uint8_t> taken;
  while (taken.size() < kMaxTakePerPass) {
    const platform::IoResult r = from.Read(buffer, sizeof buffer);
    // What came before a hang-up still enters the line; the next Take fails.
    if (!r.ok() && taken.empty()) return false;
    if (!r.ok() || r.count == 0) break;
    taken.insert(taken.end(), buffer, buffer + r.count);
  }
  if (!taken.empty()) out.push_back({0, std::move(taken)});
  return true;
}

long GiveAtOnce(platform::Device& to, std::span<const uint8_t> bytes) {
  const platform::IoResult r = to.Write(bytes.data(), bytes.size());
  if (!r.ok()) return -1;
  return static_cast<long>(r.count);
}

}  // namespace flashkit::sim
