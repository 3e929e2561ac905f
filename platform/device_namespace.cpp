#include "platform/device_namespace.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace flashkit::platform {
namespace {

constexpr char kRootVariable[] = "FLASHKIT_DEVROOT";
constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kComWord = "com";
// Built-in serial ports count from ttyS0 for COM1; more digits than this
// cannot be a port the machine has.
constexpr size_t kMaxFallbackDigits = 6;

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string NamespaceRoot() {
  const char* value = std::getenv(kRootVariable);
  if (value == nullptr || *value == '\0') return kDefaultNamespaceRoot;
  std::string root(value);
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

std::optional<std::string> ComDigits(std::string_view device_name) {
  if (device_name.starts_with(kDevicePrefix)) device_name.remove_prefix(kDevicePrefix.size());
  if (!StartsWithIgnoringCase(device_name, kComWord)) return std::nullopt;
  device_name.remove_prefix(kComWord.size());
  if (!AllDigits(device_name)) return std::nullopt;
  return std::string(device_name);
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

std::optional<std::string> ResolveSerialName(const std::string& device_name) {
  if (device_name.starts_with('/')) return device_name;
  return ResolveComName(device_name);
}

std::string ComPath(unsigned number) { return NamespaceRoot() + "/com" + std::to_string(number); }

std::string InterfaceClassDir(const std::string& class_guid) {
  return NamespaceRoot() + "/usb/" + class_guid;
}

}  // namespace flashkit::platform
