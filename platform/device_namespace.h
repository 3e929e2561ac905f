#pragma once

#include <optional>
#include <string>

namespace flashkit::platform {

// Windows reaches devices by name; the namespace root ($FLASHKIT_DEVROOT,
// /dev by default) gives those names a home on this machine.
std::string NamespaceRoot();

// "\\.\com7" or "COM7" -> "<root>/com7"; with the default root and no
// /dev/com7, /dev/ttyS6. Nothing for a name that is not a COM port.
std::optional<std::string> ResolveComName(const std::string& device_name);

// "<root>/com<N>", the path a simulator or udev rule gives COM port N.
std::string ComPath(unsigned number);

// "<root>/usb/{GUID}", the folder whose entries are the present interfaces.
std::string InterfaceClassDir(const std::string& class_guid);

}  // namespace flashkit::platform
