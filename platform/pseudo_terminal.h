#pragma once

#include <memory>
#include <string>

#include "platform/device.h"

namespace flashkit::platform {

// A pseudo-terminal pair for simulated devices: the simulator keeps the
// master; programs open the slave through a namespace link. The object keeps
// the slave open itself, so the master never sees a hang-up between the
// programs that come and go on the slave; it lets go when destroyed.
// Move-only.
struct PseudoTerminal {
  PseudoTerminal() = default;
  PseudoTerminal(PseudoTerminal&& other) noexcept;
  PseudoTerminal& operator=(PseudoTerminal&& other) noexcept;
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  ~PseudoTerminal();

  // Lets go of the slave: once the last program closes it, the master reads
  // a hang-up.
  void CloseSlave();

  // Non-blocking reads and writes; a write takes what fits at once and never
  // waits, so one slow reader cannot hold up a simulator moving other lines.
  std::unique_ptr<Device> master;
  std::string slave_path;          // /dev/pts/N
  int slave_keepalive_fd = -1;     // the slave held open; -1 when not held
  SysStatus status;
};

// The slave starts in raw mode so nothing is echoed before a program sets it up.
PseudoTerminal OpenPseudoTerminal();

}  // namespace flashkit::platform
