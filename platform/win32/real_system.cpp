#include "platform/device_namespace.h"
#include "platform/device_system.h"
#include "platform/serial_line.h"
#include "platform/usb_pipe_path.h"
#include "platform/win32/usb_devices.h"
#include "platform/win32/win32_status.h"

namespace flashkit::platform {
namespace {

// The device names are the system's own here: COM names become \\.\COMN,
// device interfaces and their pipes come from the SetupAPI and the driver.
class Win32DeviceSystem : public DeviceSystem {
 public:
  Opened<SerialLine> OpenSerial(const std::string& device_name) override {
    const std::optional<std::string> path = ResolveSerialName(device_name);
    if (!path) return {nullptr, SysStatus::FromErrno(ERROR_FILE_NOT_FOUND)};
    return OpenSerialLine(*path, FdDevice::kWriteStallMs, RealSerialDriver());
  }

  Opened<Device> OpenPipe(const std::string& path) override { return OpenUsbPipe(RealUsbCalls(), path); }

  Opened<Device> OpenInterface(const std::string& path) override {
    return OpenUsbInterface(RealUsbCalls(), path);
  }

  std::optional<std::vector<std::string>> ListInterfaces(const std::string& class_guid) override {
    return ListDeviceInterfaces(RealUsbCalls(), class_guid);
  }

  std::unique_ptr<Event> NewEvent() override { return CreateEvent(); }

  Clock& clock() override { return SystemClock(); }
};

}  // namespace

DeviceSystem& RealSystem() {
  static Win32DeviceSystem system;
  return system;
}

}  // namespace flashkit::platform
