#pragma once

#include <string>
#include <string_view>

#include "platform/device.h"
#include "platform/device_system.h"

namespace flashkit::platform {

// The pipes of a device whose class folder entry links to its usbfs node:
// PIPE00 reads the first bulk IN endpoint of its first interface, PIPE01
// writes the first bulk OUT endpoint. They behave as the socket pipes do:
// reads never wait, writes give up when the device stops taking bytes, and a
// device that went away makes both fail. An open pipe of the same name
// gives access denied; a name or endpoint the device lacks, not found.
Opened<Device> OpenBulkPipe(const std::string& node, std::string_view pipe);

// Opens the node itself: proof that the device is there.
Opened<Device> OpenBulkNode(const std::string& node);

}  // namespace flashkit::platform
