// Windows has the device namespace itself: COM port N is \\.\COMN.
#include <string>

#include "platform/device_namespace.h"

namespace flashkit::platform {
namespace {

constexpr char kDeviceRoot[] = "\\\\.";

// Leading zeros name the same port ("COM07" is COM7); a run of zeros is COM0.
std::string WithoutLeadingZeros(const std::string& digits) {
  const size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? "0" : digits.substr(first);
}

}  // namespace

std::string NamespaceRoot() { return kDeviceRoot; }

bool IsSerialPath(std::string_view name) { return name.starts_with("\\\\"); }

// Above COM9 only the device path opens a port, so every COM name gets it.
std::optional<std::string> ResolveComName(const std::string& device_name) {
  const std::optional<std::string> digits = ComDigits(device_name);
  if (!digits) return std::nullopt;
  return std::string(kDeviceRoot) + "\\COM" + WithoutLeadingZeros(*digits);
}

std::optional<std::string> ResolveSerialName(const std::string& device_name) {
  if (std::optional<std::string> com = ResolveComName(device_name)) return com;
  if (IsSerialPath(device_name)) return device_name;
  return std::nullopt;
}

std::string ComPath(unsigned number) { return std::string(kDeviceRoot) + "\\COM" + std::to_string(number); }

// Device interfaces are the SetupAPI's; no folder holds them.
std::string InterfaceClassDir(const std::string& class_guid) { return class_guid; }

std::string ComNodePath(const std::string&, const std::string& digits, bool) {
  return std::string(kDeviceRoot) + "\\COM" + WithoutLeadingZeros(digits);
}

}  // namespace flashkit::platform
