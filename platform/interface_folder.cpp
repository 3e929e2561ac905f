#include "platform/interface_folder.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string_view>

namespace flashkit::platform {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool IsDotEntry(const char* name) {
  const std::string_view n(name);
  return n == "." || n == "..";
}

}  // namespace

std::optional<std::vector<std::string>> ListInterfaceFolder(const std::string& folder) {
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) {
    if (errno == ENOENT || errno == ENOTDIR) return std::vector<std::string>{};
    return std::nullopt;
  }
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) return std::nullopt;
      break;
    }
    if (!IsDotEntry(entry->d_name)) names.emplace_back(entry->d_name);
  }
  // std::string orders by unsigned byte value.
  std::sort(names.begin(), names.end());
  for (std::string& name : names) name = folder + "/" + name;
  return names;
}

}  // namespace flashkit::platform
