#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/sys_error.h"

struct libusb_device_handle;
struct libusb_transfer;

namespace flashkit::platform {

// One bulk transfer on one endpoint with its buffer, reused from one
// submission to the next. Its completion is seen while libusb's events are
// handled; the owner must keep it until it is no longer in flight.
class BulkTransfer {
 public:
  BulkTransfer(libusb_device_handle* handle, uint8_t endpoint, size_t capacity);
  ~BulkTransfer();
  BulkTransfer(const BulkTransfer&) = delete;
  BulkTransfer& operator=(const BulkTransfer&) = delete;

  // Sends (OUT) or asks for (IN) `length` bytes of the buffer. A submission
  // that fails counts as finished, with that failure as its outcome.
  SysStatus Submit(size_t length);
  // Asks for an early end; the transfer finishes later, cancelled or done.
  void Cancel();

  bool InFlight() const { return in_flight_; }
  bool Finished() const { return !in_flight_; }
  // How the last submission ended; ECANCELED after Cancel took effect.
  const SysStatus& Outcome() const { return outcome_; }
  bool Cancelled() const;
  // Bytes moved by the last submission, also when it ended early.
  size_t Actual() const;
  uint8_t* Data() { return buffer_.data(); }
  size_t Capacity() const { return buffer_.size(); }

 private:
  static void Completed(libusb_transfer* transfer);

  libusb_transfer* transfer_;
  std::vector<uint8_t> buffer_;
  bool in_flight_ = false;
  SysStatus outcome_;
};

}  // namespace flashkit::platform
