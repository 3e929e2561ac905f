#pragma once

#include "platform/sys_error.h"

namespace flashkit::platform {

// libusb's error codes (negative LIBUSB_ERROR_*) and transfer outcomes
// (LIBUSB_TRANSFER_*) as the failures the socket pipes give for the same
// event: a device that went away is a device failure, as a hung-up socket is.
SysStatus LibusbFailure(int libusb_error);
SysStatus TransferOutcome(int transfer_status);

}  // namespace flashkit::platform
