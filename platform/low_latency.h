#pragma once

#include <optional>

#include "platform/sys_error.h"

namespace flashkit::platform {

// The serial driver's flags (struct serial_struct's), which hold its
// low-latency mode. Tests put in a driver of their own.
class SerialDriver {
 public:
  virtual ~SerialDriver() = default;
  virtual SysStatus GetFlags(int fd, int& flags) = 0;
  // Changes the flags and leaves the rest of the driver's settings alone.
  virtual SysStatus SetFlags(int fd, int flags) = 0;
};

// TIOCGSERIAL and TIOCSSERIAL on the line itself.
SerialDriver& RealSerialDriver();

// A USB serial adapter holds what it receives until a packet is full or its
// latency timer runs out (16 ms on an FTDI chip), and every answer of a
// stop-and-wait protocol pays that. In low-latency mode, as `setserial
// low_latency` sets it, the driver brings the timer down to 1 ms. Drivers
// that have no such mode (a pseudo-terminal) or will not change it (no
// permission) are left as they are.
class LowLatency {
 public:
  // Asks the driver behind `fd` for low latency.
  void Request(int fd, SerialDriver& driver);
  // Gives the driver back the flags Request found, if it changed them.
  // Idempotent.
  void Restore(int fd);

 private:
  SerialDriver* driver_ = nullptr;
  std::optional<int> found_;  // the flags before ours, while ours are in force
};

}  // namespace flashkit::platform
