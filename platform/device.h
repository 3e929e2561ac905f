#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/sys_error.h"

namespace flashkit::platform {

struct IoResult {
  size_t count = 0;  // bytes moved; meaningful when status is ok
  SysStatus status;

  bool ok() const { return status.ok(); }
};

// An open device handle: a serial line or a USB pipe. One thread uses a
// handle at a time.
class Device {
 public:
  virtual ~Device() = default;

  // The number shown for the handle in traces (the descriptor).
  virtual int Id() const = 0;

  // Moves what has already arrived, at most `len` bytes, without waiting.
  // count 0 means nothing was there. A line that has hung up is an error.
  virtual IoResult Read(uint8_t* data, size_t len) = 0;

  // Hands the bytes to the driver, waiting while its buffer is full. If the
  // line stops taking bytes for a long while, returns the count handed over
  // so far (possibly 0) instead of waiting forever.
  virtual IoResult Write(const uint8_t* data, size_t len) = 0;

  // Waits at most `ms` for input; returns early when some arrives or the
  // device fails. Only Clock implementations call this.
  virtual void PollInput(uint32_t ms) = 0;

  // Releases the handle; false if the OS reported an error. Idempotent.
  virtual bool Close() = 0;
};

enum class Parity : uint8_t { kNone, kOdd, kEven, kMark, kSpace };
enum class StopBits : uint8_t { kOne, kOnePointFive, kTwo };

struct LineSettings {
  uint32_t baud = 9600;
  uint8_t byte_size = 8;  // 5 to 8
  Parity parity = Parity::kNone;
  StopBits stop_bits = StopBits::kOne;
  bool rts_cts = false;   // hardware flow control, kept as the line reports it
};

// A serial line in raw mode: no echo, no translation, reads that never block.
class SerialLine : public Device {
 public:
  // Waits until buffered output has gone out on the line.
  virtual SysStatus Flush() = 0;
  // Discards what is waiting in both directions.
  virtual SysStatus Purge() = 0;
  virtual SysStatus GetSettings(LineSettings& settings) = 0;
  // kInvalidParameter when the driver refuses the settings (a baud rate it
  // cannot make, 1.5 stop bits, baud 0).
  virtual SysStatus SetSettings(const LineSettings& settings) = 0;
  // Makes reads return at once with what has arrived, possibly nothing.
  virtual SysStatus SetReadsReturnAtOnce() = 0;
  virtual SysStatus SetDtr(bool on) = 0;
};

}  // namespace flashkit::platform
