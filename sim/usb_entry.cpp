#include "sim/usb_entry.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/device_namespace.h"
#include "ports/port.h"

namespace flashkit::sim {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxNameLength = 64;
constexpr char kPipe00[] = "PIPE00";
constexpr char kPipe01[] = "PIPE01";

bool NameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

// Tells this run's staging folder from another's; /proc/self names the
// running process.
std::string ProcessIdText() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self", ec);
  return ec ? "0" : self.string();
}

std::unique_ptr<platform::PipeListener> ListenAt(const fs::path& path, std::string* error) {
  platform::SysStatus status;
  auto listener = platform::PipeListener::Listen(path.string(), &status);
  if (!listener) *error = "cannot listen at " + path.string() + ": " + status.Text();
  return listener;
}

}  // namespace

bool IsUsbDeviceName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxNameLength && name.front() != '.' &&
         std::all_of(name.begin(), name.end(), NameChar);
}

std::unique_ptr<UsbEntry> UsbEntry::Create(const std::string& name, std::string* error) {
  if (!IsUsbDeviceName(name)) {
    *error = "'" + name + "' cannot name a USB device";
    return nullptr;
  }
  const fs::path class_dir = platform::InterfaceClassDir(kBulkDeviceClass.text);
  const fs::path path = class_dir / name;
  const fs::path staging = class_dir.parent_path() / (".staging-" + ProcessIdText() + "-" + name);

  std::error_code ec;
  fs::create_directories(class_dir, ec);
  if (ec) {
    *error = "cannot create " + class_dir.string() + ": " + ec.message();
    return nullptr;
  }
  if (fs::exists(fs::symlink_status(path, ec))) {
    *error = path.string() + " exists: a device of that name is present already";
    return nullptr;
  }
  fs::remove_all(staging, ec);  // what a run killed half-way left behind
  fs::create_directory(staging, ec);
  if (ec) {
    *error = "cannot create " + staging.string() + ": " + ec.message();
    return nullptr;
  }

  auto pipe00 = ListenAt(staging / kPipe00, error);
  auto pipe01 = pipe00 ? ListenAt(staging / kPipe01, error) : nullptr;
  if (pipe01) {
    // The listening sockets keep working in their renamed folder.
    fs::rename(staging, path, ec);
    if (ec) *error = "cannot move " + staging.string() + " to " + path.string() + ": " + ec.message();
  }
  if (!pipe01 || ec) {
    fs::remove_all(staging, ec);
    return nullptr;
  }
  return std::unique_ptr<UsbEntry>(
      new UsbEntry(name, path.string(), std::move(pipe00), std::move(pipe01)));
}

UsbEntry::UsbEntry(std::string name, std::string path,
                   std::unique_ptr<platform::PipeListener> pipe00,
                   std::unique_ptr<platform::PipeListener> pipe01)
    : name_(std::move(name)),
      path_(std::move(path)),
      pipe00_(std::move(pipe00)),
      pipe01_(std::move(pipe01)) {}

UsbEntry::~UsbEntry() {
  // Gone from the class folder first, so no host finds it half taken down.
  std::error_code ec;
  fs::remove_all(path_, ec);
  pipe00_.reset();
  pipe01_.reset();
}

}  // namespace flashkit::sim
