#pragma once

#include <cstdint>

#include "platform/device.h"

namespace flashkit::platform {

// A Device over a non-blocking descriptor it owns and closes.
class FdDevice : public Device {
 public:
  // How long a write waits for a full line to take any byte before it gives
  // up and reports the count handed over so far. With 0 a write takes what
  // fits at once and never waits.
  static constexpr uint32_t kWriteStallMs = 2000;

  explicit FdDevice(int fd, uint32_t write_stall_ms = kWriteStallMs);
  ~FdDevice() override;
  FdDevice(const FdDevice&) = delete;
  FdDevice& operator=(const FdDevice&) = delete;

  int Id() const override { return fd_; }
  IoResult Read(uint8_t* data, size_t len) override;
  IoResult Write(const uint8_t* data, size_t len) override;
  void PollInput(uint32_t ms) override;
  bool Close() override;

 protected:
  // One write system call: bytes taken, or -1 with errno set.
  virtual long WriteSome(const uint8_t* data, size_t len);

 private:
  bool HungUp() const;

  int fd_;
  uint32_t write_stall_ms_;
};

}  // namespace flashkit::platform
