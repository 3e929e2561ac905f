#pragma once

#include <memory>
#include <string>

#include "platform/pseudo_terminal.h"
#include "sim/line_end.h"

namespace flashkit::sim {

// A line end that a program outside reaches through a pseudo-terminal: the
// simulator keeps the master, the program opens the slave.
class PtyEnd : public LineEnd {
 public:
  // Null, with the reason in `error`, when no pseudo-terminal can be had.
  static std::unique_ptr<PtyEnd> Open(std::string label, std::string* error);

  const std::string& slave_path() const { return pty_.slave_path; }

  // Stops holding the slave open: once the program on it closes it too, the
  // next Take fails with the hang-up.
  void ReleaseSlave() { pty_.CloseSlave(); }

  // Reads on the slave wait up to `deciseconds` for their first byte until a
  // program sets the line up otherwise. Needs the slave still held.
  platform::SysStatus SetSlaveReadWait(uint8_t deciseconds);

  int InputFd() const override { return pty_.master->Id(); }
  int OutputFd() const override { return pty_.master->Id(); }
  bool Take(std::vector<EnteredBytes>& out) override;
  long Give(std::span<const uint8_t> bytes) override;
  std::string Label() const override { return label_; }

 private:
  PtyEnd(std::string label, platform::PseudoTerminal pty);

  std::string label_;
  platform::PseudoTerminal pty_;
};

}  // namespace flashkit::sim
