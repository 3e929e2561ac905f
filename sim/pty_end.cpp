#include "sim/pty_end.h"

namespace flashkit::sim {
namespace {
// Bounds one pass, so a program writing without pause cannot hold the pump.
constexpr size_t kMaxTakePerPass = 64 * 1024;
}

std::unique_ptr<PtyEnd> PtyEnd::Open(std::string label, std::string* error) {
  platform::PseudoTerminal pty = platform::OpenPseudoTerminal();
  if (!pty.status.ok() || !pty.master) {
    *error = "cannot open a pseudo-terminal for " + label + ": " + pty.status.Text();
    return nullptr;
  }
  return std::unique_ptr<PtyEnd>(new PtyEnd(std::move(label), std::move(pty)));
}

PtyEnd::PtyEnd(std::string label, platform::PseudoTerminal pty)
    : label_(std::move(label)), pty_(std::move(pty)) {}

// When the program wrote them is not known: they enter as the pump takes them.
bool PtyEnd::Take(std::vector<EnteredBytes>& out) {
  uint8_t buffer[4096];
  std::vector<uint8_t> taken;
  while (taken.size() < kMaxTakePerPass) {
    const platform::IoResult r = pty_.master->Read(buffer, sizeof buffer);
    if (!r.ok()) return false;
    if (r.count == 0) break;
    taken.insert(taken.end(), buffer, buffer + r.count);
  }
  if (!taken.empty()) out.push_back({0, std::move(taken)});
  return true;
}

long PtyEnd::Give(std::span<const uint8_t> bytes) {
  const platform::IoResult r = pty_.master->Write(bytes.data(), bytes.size());
  if (!r.ok()) return -1;
  return static_cast<long>(r.count);
}

}  // namespace flashkit::sim
