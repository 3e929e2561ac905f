#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/device_system.h"
#include "platform/win32/usb_calls.h"

namespace flashkit::platform {

// "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}" as a GUID; nothing for other text.
std::optional<GUID> ParseGuid(const std::string& text);

// The device interface paths of the present interfaces of a class, in
// enumeration order; an interface whose path cannot be had is left out.
// Nothing when the class's set cannot be obtained or the text is no GUID.
std::optional<std::vector<std::string>> ListDeviceInterfaces(UsbCalls& calls, const std::string& class_guid);

// A pipe ("<interface path>\PIPE00") opened as a file for overlapped I/O:
// reads never wait (one read is kept in flight and handed out as it
// completes), a write gives up after FdDevice::kWriteStallMs without
// progress, and a device that went away makes both fail.
Opened<Device> OpenUsbPipe(UsbCalls& calls, const std::string& path);

// The interface path itself, opened: proof that the device is there.
Opened<Device> OpenUsbInterface(UsbCalls& calls, const std::string& path);

}  // namespace flashkit::platform
