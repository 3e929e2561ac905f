#include "sim/pty_end.h"

#include "platform/line_control.h"
#include "sim/device_io.h"

namespace flashkit::sim {

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
bool PtyEnd::Take(std::vector<EnteredBytes>& out) { return TakeWaiting(*pty_.master, out); }

long PtyEnd::Give(std::span<const uint8_t> bytes) { return GiveAtOnce(*pty_.master, bytes); }

platform::SysStatus PtyEnd::SetSlaveReadWait(uint8_t deciseconds) {
  return platform::line_control::SetReadWait(pty_.slave_keepalive_fd, deciseconds);
}

}  // namespace flashkit::sim
