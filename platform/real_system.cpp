#include <cerrno>

#include "platform/device_namespace.h"
#include "platform/device_system.h"
#include "platform/interface_folder.h"
#include "platform/serial_line.h"
#include "platform/usb_pipe.h"

namespace flashkit::platform {
namespace {

SysStatus NotFound() { return SysStatus::FromErrno(ENOENT); }

class RealDeviceSystem : public DeviceSystem {
 public:
  Opened<SerialLine> OpenSerial(const std::string& device_name) override {
    const std::optional<std::string> path = ResolveComName(device_name);
    if (!path) return {nullptr, NotFound()};
    return OpenSerialLine(*path);
  }

  Opened<Device> OpenPipe(const std::string& path) override { return ConnectPipe(path); }

  Opened<Device> OpenInterface(const std::string& path) override {
    return OpenInterfacePath(path);
  }

  std::optional<std::vector<std::string>> ListInterfaces(const std::string& class_guid) override {
    return ListInterfaceFolder(InterfaceClassDir(class_guid));
  }

  std::unique_ptr<Event> NewEvent() override { return CreateEvent(); }

  Clock& clock() override { return SystemClock(); }
};

}  // namespace

DeviceSystem& RealSystem() {
  static RealDeviceSystem system;
  return system;
}

}  // namespace flashkit::platform
