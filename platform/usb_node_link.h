#pragma once

#include <string>

namespace flashkit::platform {

// An entry of a device class folder is a device's folder (its pipes are
// sockets) or a link to a usbfs device node (/dev/bus/usb/BBB/DDD) that
// libusb drives.
enum class EntryKind {
  kMissing,  // nothing there, or a link whose target has gone
  kUsbNode,  // leads to a character device
  kOther,    // a folder, or anything else that exists
};

// What `entry` leads to. A link is read here rather than by the kernel, so
// the node is reached by the path it was linked as.
EntryKind KindOfEntry(const std::string& entry);

// The path `entry` leads to: a link's target (a relative one taken from the
// entry's folder), or the entry itself.
std::string EntryTarget(const std::string& entry);

}  // namespace flashkit::platform
