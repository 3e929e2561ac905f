#include "platform/device_namespace.h"

#include <sys/stat.h>

#include <cstdlib>

namespace flashkit::platform {
namespace {

constexpr char kRootVariable[] = "FLASHKIT_DEVROOT";
// Built-in serial ports count from ttyS0 for COM1; more digits than this
// cannot be a port the machine has.
constexpr size_t kMaxFallbackDigits = 6;

}  // namespace

std::string NamespaceRoot() {
  const char* value = std::getenv(kRootVariable);
  if (value == nullptr || *value == '\0') return kDefaultNamespaceRoot;
  std::string root(value);
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

std::string ComNodePath(const std::string& root, const std::string& digits, bool com_node_exists) {
  std::string com = root + "/com" + digits;
  if (com_node_exists || root != kDefaultNamespaceRoot || digits.size() > kMaxFallbackDigits) {
    return com;
  }
  const unsigned long number = std::strtoul(digits.c_str(), nullptr, 10);
  if (number == 0) return com;
  return std::string(kDefaultNamespaceRoot) + "/ttyS" + std::to_string(number - 1);
}

std::optional<std::string> ResolveComName(const std::string& device_name) {
  const std::optional<std::string> digits = ComDigits(device_name);
  if (!digits) return std::nullopt;
  const std::string root = NamespaceRoot();
  // A dangling link counts as present: it names the device meant, which is absent.
  struct stat info {};
  const bool exists = lstat((root + "/com" + *digits).c_str(), &info) == 0;
  return ComNodePath(root, *digits, exists);
}

bool IsSerialPath(std::string_view name) { return name.starts_with('/'); }

std::optional<std::string> ResolveSerialName(const std::string& device_name) {
  if (IsSerialPath(device_name)) return device_name;
  return ResolveComName(device_name);
}

std::string ComPath(unsigned number) { return NamespaceRoot() + "/com" + std::to_string(number); }

std::string InterfaceClassDir(const std::string& class_guid) {
  return NamespaceRoot() + "/usb/" + class_guid;
}

}  // namespace flashkit::platform
