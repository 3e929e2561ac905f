#pragma once

#include <atomic>
#include <vector>

#include "sim/line_end.h"
#include "sim/pty_end.h"

namespace flashkit::sim {

// The host's side of the MCU's line: a pseudo-terminal whose slave devsim
// does not hold, so the master sees each program that opens the port and
// each that closes it. Probe finds a program there; a failure of the line
// afterwards means it has closed the port.
class McuHostEnd : public LineEnd {
 public:
  explicit McuHostEnd(PtyEnd& pty) : pty_(pty) {}

  // True when a program has the port open; what it has written already is
  // kept for the line.
  bool Probe();
  // The program has closed the port since the last successful Probe.
  bool closed() const { return closed_; }

  int InputFd() const override { return pty_.InputFd(); }
  int OutputFd() const override { return pty_.OutputFd(); }
  bool Take(std::vector<EnteredBytes>& out) override;
  long Give(std::span<const uint8_t> bytes) override;
  std::string Label() const override { return pty_.Label(); }

 private:
  PtyEnd& pty_;
  std::vector<EnteredBytes> early_;  // taken by Probe
  std::atomic<bool> closed_{false};
};

}  // namespace flashkit::sim
