#include "platform/usb_bulk_transfer.h"

#include <libusb.h>

#include <cerrno>

#include "platform/usb_transfer_status.h"

namespace flashkit::platform {

BulkTransfer::BulkTransfer(libusb_device_handle* handle, uint8_t endpoint, size_t capacity)
    : transfer_(libusb_alloc_transfer(0)), buffer_(capacity) {
  // No time-out of libusb's own: the pipes keep their deadlines and cancel.
  if (transfer_ != nullptr) {
    libusb_fill_bulk_transfer(transfer_, handle, endpoint, buffer_.data(),
                              static_cast<int>(buffer_.size()), Completed, this, 0);
  }
}

BulkTransfer::~BulkTransfer() { libusb_free_transfer(transfer_); }

SysStatus BulkTransfer::Submit(size_t length) {
  if (transfer_ == nullptr) {
    outcome_ = SysStatus::FromErrno(ENOMEM);
    return outcome_;
  }
  transfer_->length = static_cast<int>(length);
  transfer_->actual_length = 0;
  const int result = libusb_submit_transfer(transfer_);
  if (result != 0) {
    outcome_ = LibusbFailure(result);
    return outcome_;
  }
  in_flight_ = true;
  outcome_ = SysStatus::Ok();
  return outcome_;
}

void BulkTransfer::Cancel() {
  // One that has finished meanwhile just reports "not found".
  if (in_flight_) libusb_cancel_transfer(transfer_);
}

bool BulkTransfer::Cancelled() const {
  return !in_flight_ && outcome_.os_errno == ECANCELED;
}

size_t BulkTransfer::Actual() const {
  return transfer_ == nullptr ? 0 : static_cast<size_t>(transfer_->actual_length);
}

void BulkTransfer::Completed(libusb_transfer* transfer) {
  auto* self = static_cast<BulkTransfer*>(transfer->user_data);
  self->in_flight_ = false;
  self->outcome_ = TransferOutcome(transfer->status);
}

}  // namespace flashkit::platform
