#include "platform/usb_pipe_path.h"

namespace flashkit::platform {

std::optional<std::string> PipePath(const std::string& interface_path, std::string_view pipe) {
  if (interface_path.size() > kMaxInterfacePath) return std::nullopt;
  std::string path = interface_path;
  path += '\\';
  path += pipe;
  return path;
}

}  // namespace flashkit::platform
