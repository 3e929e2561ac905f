#pragma once

#include <optional>
#include <string>
#include <vector>

namespace flashkit::platform {

// The entries of a device class folder as full paths, in byte order of their
// names: an empty list when the folder does not exist (no device of the class
// was ever attached), nothing when it exists but cannot be read.
std::optional<std::vector<std::string>> ListInterfaceFolder(const std::string& folder);

}  // namespace flashkit::platform
