#include "platform/usb_transfer_status.h"

#include <libusb.h>

#include <cerrno>
#include <iterator>

namespace flashkit::platform {
namespace {

struct CodeRow {
  int code;
  int err;
};

constexpr CodeRow kLibusbErrors[] = {
    {LIBUSB_ERROR_IO, EIO},
    {LIBUSB_ERROR_INVALID_PARAM, EINVAL},
    {LIBUSB_ERROR_ACCESS, EACCES},
    {LIBUSB_ERROR_NO_DEVICE, ENODEV},
    {LIBUSB_ERROR_NOT_FOUND, ENOENT},
    {LIBUSB_ERROR_BUSY, EBUSY},
    {LIBUSB_ERROR_TIMEOUT, ETIMEDOUT},
    {LIBUSB_ERROR_OVERFLOW, EOVERFLOW},
    {LIBUSB_ERROR_PIPE, EPIPE},
    {LIBUSB_ERROR_INTERRUPTED, EINTR},
    {LIBUSB_ERROR_NO_MEM, ENOMEM},
    {LIBUSB_ERROR_NOT_SUPPORTED, EOPNOTSUPP},
};

constexpr CodeRow kTransferOutcomes[] = {
    {LIBUSB_TRANSFER_COMPLETED, 0},
    {LIBUSB_TRANSFER_ERROR, EIO},
    {LIBUSB_TRANSFER_TIMED_OUT, ETIMEDOUT},
    {LIBUSB_TRANSFER_CANCELLED, ECANCELED},
    {LIBUSB_TRANSFER_STALL, EPIPE},
    {LIBUSB_TRANSFER_NO_DEVICE, ENODEV},
    {LIBUSB_TRANSFER_OVERFLOW, EOVERFLOW},
};

SysStatus Lookup(const CodeRow* begin, const CodeRow* end, int code) {
  for (const CodeRow* row = begin; row != end; ++row) {
    if (row->code == code) return row->err == 0 ? SysStatus::Ok() : SysStatus::FromErrno(row->err);
  }
  return SysStatus::FromErrno(EIO);
}

}  // namespace

SysStatus LibusbFailure(int libusb_error) {
  return Lookup(std::begin(kLibusbErrors), std::end(kLibusbErrors), libusb_error);
}

SysStatus TransferOutcome(int transfer_status) {
  return Lookup(std::begin(kTransferOutcomes), std::end(kTransferOutcomes), transfer_status);
}

}  // namespace flashkit::platform
