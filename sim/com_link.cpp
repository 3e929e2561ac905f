#include "sim/com_link.h"

#include <filesystem>
#include <system_error>

#include "platform/device_namespace.h"

namespace flashkit::sim {

namespace fs = std::filesystem;

std::unique_ptr<ComLink> ComLink::Create(unsigned number, const std::string& target,
                                         std::string* error) {
  const fs::path path = platform::ComPath(number);
  std::error_code ec;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
  if (ec) {
    *error = "cannot create " + path.parent_path().string() + ": " + ec.message();
    return nullptr;
  }

  const fs::file_status status = fs::symlink_status(path, ec);
  if (fs::is_symlink(status)) {
    fs::remove(path, ec);
  } else if (fs::exists(status)) {
    *error = path.string() + " exists and is not a link; not replacing it";
    return nullptr;
  }
  ec.clear();
  fs::create_symlink(target, path, ec);
  if (ec) {
    *error = "cannot link " + path.string() + " to " + target + ": " + ec.message();
    return nullptr;
  }
  return std::unique_ptr<ComLink>(new ComLink(number, path.string(), target));
}

ComLink::ComLink(unsigned number, std::string path, std::string target)
    : number_(number), path_(std::move(path)), target_(std::move(target)) {}

ComLink::~ComLink() {
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(path_, ec)) && fs::read_symlink(path_, ec) == target_) {
    fs::remove(path_, ec);
  }
}

}  // namespace flashkit::sim
