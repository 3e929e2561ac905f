#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace flashkit::platform {

// The interface class the USB bulk devices register under.
inline constexpr char kBulkInterfaceClass[] = "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}";

// The pipe carrying data from the device, and the one carrying data to it.
inline constexpr std::string_view kReadPipeName = "PIPE00";
inline constexpr std::string_view kWritePipeName = "PIPE01";

// Pipe paths were built in 256 bytes: the interface path, "\", six letters
// and the terminating zero.
inline constexpr size_t kMaxInterfacePath = 248;

// "<interface path>\<pipe>", or nothing for an interface path longer than
// kMaxInterfacePath: refused rather than cut, which would name another file.
std::optional<std::string> PipePath(const std::string& interface_path, std::string_view pipe);

}  // namespace flashkit::platform
