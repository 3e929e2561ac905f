// The COM port names every system reads the same way.
#include <algorithm>
#include <cctype>

#include "platform/device_namespace.h"

namespace flashkit::platform {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kComWord = "com";

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

std::optional<std::string> ComDigits(std::string_view device_name) {
  if (device_name.starts_with(kDevicePrefix)) device_name.remove_prefix(kDevicePrefix.size());
  if (!StartsWithIgnoringCase(device_name, kComWord)) return std::nullopt;
  device_name.remove_prefix(kComWord.size());
  if (!AllDigits(device_name)) return std::nullopt;
  return std::string(device_name);
}

}  // namespace flashkit::platform
