#pragma once

#include <cstdint>
#include <string>

namespace flashkit {

// A serial line whose received bytes wait in a ring until the caller takes
// them one by one. What the bootloader client needs of its port.
class RingPort {
 public:
  virtual ~RingPort() = default;

  // 0-based port index; stop-bit code 0 one, 1 one and a half, 2 two; parity
  // code 0 none, 1 odd, 2 even, 3 mark, 4 space. Not checked here.
  virtual void SetParams(int32_t port_index, uint32_t baud, uint8_t byte_size, uint8_t stop_bits,
                         uint8_t parity) = 0;
  // A line named by its path ("/dev/ttyUSB0") instead of the port index;
  // empty: the index names it.
  virtual void SetPath(const std::string& path) = 0;
  // 1 when open and receiving, 0 on any failure.
  virtual int32_t Open() = 0;
  // Why the last Open failed, in words; empty when it did not.
  virtual std::string OpenFailureText() const = 0;
  // Bytes written, once they are handed to the line (0 on failure).
  virtual int32_t Write(const uint8_t* data, uint32_t length) = 0;
  // 1 with a byte from the ring, 0 at once when the ring is empty.
  virtual int32_t TakeByte(uint8_t* byte) = 0;
  // One poll's pause: at most `ms`, ending early when a byte comes into the ring.
  virtual void PauseForInput(uint32_t ms) = 0;
  virtual int32_t Close() = 0;
};

}  // namespace flashkit
