#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/device_system.h"
#include "platform/usb_pipe_path.h"
#include "tests/platform/temp_namespace.h"
#include "tests/usbhw/usb_test_device.h"

namespace flashkit::testing {

// A device namespace whose bulk class folder has `entry` linked to a usbfs
// node in the testbed, as a udev rule would link a board.
class UsbHwRig {
 public:
  explicit UsbHwRig(DeviceLayout layout = {}, const std::string& entry = "board")
      : folder_(ns_.root() / "usb" / platform::kBulkInterfaceClass) {
    EXPECT_TRUE(UsbTestbed::Preloaded()) << "run under umockdev's preload library (ctest sets it)";
    std::filesystem::create_directories(folder_);
    device = std::make_unique<UsbTestDevice>(testbed, std::move(layout));
    entry_ = Link(entry, device->node());
  }

  // Links `name` in the class folder to `target`; its full path.
  std::string Link(const std::string& name, const std::string& target) {
    std::filesystem::create_symlink(target, folder_ / name);
    return (folder_ / name).string();
  }

  const std::filesystem::path& folder() const { return folder_; }
  const std::string& entry() const { return entry_; }
  std::string Pipe(std::string_view pipe) const { return entry_ + "\\" + std::string(pipe); }

  platform::Opened<platform::Device> Open(std::string_view pipe) const {
    return platform::RealSystem().OpenPipe(Pipe(pipe));
  }

  UsbTestbed testbed;
  std::unique_ptr<UsbTestDevice> device;

 private:
  TempNamespace ns_;
  std::filesystem::path folder_;
  std::string entry_;
};

// Milliseconds of real time since `start`.
inline int64_t MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

// Reads until `want` bytes have come, the pipe fails or `limit_ms` pass,
// polling as the ports do.
inline Bytes ReadFor(platform::Device& pipe, size_t want, uint32_t limit_ms, size_t piece = 4096) {
  Bytes got;
  const auto start = std::chrono::steady_clock::now();
  while (got.size() < want && MsSince(start) < limit_ms) {
    Bytes buffer(piece);
    const platform::IoResult result = pipe.Read(buffer.data(), buffer.size());
    if (!result.ok()) break;
    got.insert(got.end(), buffer.begin(), buffer.begin() + static_cast<long>(result.count));
    if (result.count == 0) pipe.PollInput(10);
  }
  return got;
}

}  // namespace flashkit::testing
