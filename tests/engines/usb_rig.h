#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "gui/links/usb_link.h"
#include "engines/usb_download.h"
#include "tests/engines/fake_usb_view.h"
#include "tests/gui/links/serial_rig.h"
#include "tests/platform/runtime_dir.h"
#include "tests/support/fake_device_system.h"

namespace flashkit::testing {

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Image byte i: distinct from its neighbours and never the 0xFF fill.
inline Bytes ImageBytes(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i % 251);
  return bytes;
}

// Descriptors this process holds: an image file left open shows here.
inline size_t OpenFiles() {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

// The USB download on a fake device "/ns/usb0" with both pipes, in a
// folder of its own that is the current directory for the rig's life.
class UsbRig {
 public:
  static constexpr char kDevice[] = "/ns/usb0";

  UsbRig() {
    system.interfaces = std::vector<std::string>{kDevice};
    system.AddPipe(std::string(kDevice) + "\\PIPE00");
    system.AddPipe(std::string(kDevice) + "\\PIPE01");
    std::filesystem::current_path(dir);
  }
  ~UsbRig() {
    download.reset();
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  UsbRig(const UsbRig&) = delete;
  UsbRig& operator=(const UsbRig&) = delete;

  // What the device sends back.
  FakeDeviceState& FromDevice() { return system.Pipe(std::string(kDevice) + "\\PIPE00"); }
  // What the host wrote, one entry per write call.
  FakeDeviceState& ToDevice() { return system.Pipe(std::string(kDevice) + "\\PIPE01"); }

  Bytes WriteImage(const std::string& name, size_t size) const {
    const Bytes bytes = ImageBytes(size);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    return bytes;
  }
  // A file of `size` bytes that takes no room on disk.
  void WriteHole(const std::string& name, uintmax_t size) const {
    std::ofstream(dir / name, std::ios::binary).close();
    std::filesystem::resize_file(dir / name, size);
  }
  // The device's one-byte answers, all there from the start.
  void Answers(size_t count) { FromDevice().Arrive(Bytes(count, 0x06)); }

  // A whole download, the sender's part included.
  void Run(const std::string& name, const std::string& condition = "RUN") {
    download->UsbDownload(name, condition);
    download->WaitForSender();
  }

 private:
  static std::filesystem::path MakeDir() {
    static std::atomic<int> serial{0};
    const std::filesystem::path made =
        std::filesystem::temp_directory_path() /
        ("flashkit-usb-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(made);
    return made;
  }

  std::filesystem::path previous_ = std::filesystem::current_path();

 public:
  std::filesystem::path dir = MakeDir();
  RuntimeDir runtime{dir.string()};  // the link's named lock lives here
  FakeDeviceSystem system;
  CapturedTrace trace;
  RecordingUsbView view;
  UsbLink link{system};
  std::unique_ptr<UsbFramedDownload> download =
      std::make_unique<UsbFramedDownload>(link, view, system.time);
};

}  // namespace flashkit::testing
