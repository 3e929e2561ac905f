#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace flashkit::platform {

inline constexpr char kDefaultNamespaceRoot[] = "/dev";

// Windows reaches devices by name; the namespace root ($FLASHKIT_DEVROOT,
// /dev by default) gives those names a home on this machine.
std::string NamespaceRoot();

// "\\.\com7" or "COM7" -> "<root>/com7"; with the default root and no
// /dev/com7, /dev/ttyS6. Nothing for a name that is not a COM port.
std::optional<std::string> ResolveComName(const std::string& device_name);

// A serial line named by the system's own path for it rather than by a COM
// number: "/dev/ttyUSB0" here, "\\.\COM12" or "\\.\CNCA0" on Windows.
bool IsSerialPath(std::string_view name);

// What a serial line is opened by: a COM name resolved as above, or a path
// ("/dev/ttyUSB0", a by-id link) used as it is. Nothing for other names.
std::optional<std::string> ResolveSerialName(const std::string& device_name);

// "<root>/com<N>", the path a simulator or udev rule gives COM port N.
std::string ComPath(unsigned number);

// "<root>/usb/{GUID}", the folder whose entries are the present interfaces.
std::string InterfaceClassDir(const std::string& class_guid);

// The two halves of ResolveComName, without the environment and the file
// system. The digits of a COM name as given ("\\.\com07" -> "07"), nothing
// for other names:
std::optional<std::string> ComDigits(std::string_view device_name);
// and the node for them under `root`, given whether <root>/com<digits> exists.
std::string ComNodePath(const std::string& root, const std::string& digits, bool com_node_exists);

}  // namespace flashkit::platform
