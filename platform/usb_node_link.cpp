#include "platform/usb_node_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace flashkit::platform {

std::string EntryTarget(const std::string& entry) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink(entry.c_str(), buffer, sizeof buffer);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return entry;
  std::string target(buffer, static_cast<size_t>(n));
  if (target.front() == '/') return target;
  const size_t slash = entry.rfind('/');
  return slash == std::string::npos ? target : entry.substr(0, slash + 1) + target;
}

EntryKind KindOfEntry(const std::string& entry) {
  struct stat status {};
  if (::stat(EntryTarget(entry).c_str(), &status) != 0) {
    // Anything but absence (no permission, say) is left for the open to report.
    const bool absent = errno == ENOENT || errno == ENOTDIR || errno == ELOOP;
    return absent ? EntryKind::kMissing : EntryKind::kOther;
  }
  return S_ISCHR(status.st_mode) ? EntryKind::kUsbNode : EntryKind::kOther;
}

}  // namespace flashkit::platform
