#pragma once

#include <memory>
#include <string>

#include "platform/device.h"

namespace flashkit::platform {

// A pseudo-terminal pair for simulated devices: the simulator keeps the
// master; programs open the slave through a namespace link.
struct PseudoTerminal {
  std::unique_ptr<Device> master;  // non-blocking reads and writes
  std::string slave_path;          // /dev/pts/N
  int slave_keepalive_fd = -1;     // held open so the master never sees a hang-up between users
  SysStatus status;
};

// The slave starts in raw mode so nothing is echoed before a program sets it up.
PseudoTerminal OpenPseudoTerminal();

}  // namespace flashkit::platform
