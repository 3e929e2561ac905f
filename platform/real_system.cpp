#include <cerrno>
#include <string_view>

#include "platform/device_namespace.h"
#include "platform/device_system.h"
#include "platform/interface_folder.h"
#include "platform/serial_line.h"
#include "platform/usb_bulk_pipe.h"
#include "platform/usb_node_link.h"
#include "platform/usb_pipe.h"

namespace flashkit::platform {
namespace {

SysStatus NotFound() { return SysStatus::FromErrno(ENOENT); }

class RealDeviceSystem : public DeviceSystem {
 public:
  Opened<SerialLine> OpenSerial(const std::string& device_name) override {
    const std::optional<std::string> path = ResolveSerialName(device_name);
    if (!path) return {nullptr, NotFound()};
    return OpenSerialLine(*path);
  }

  // A pipe path is the interface path, a backslash and the pipe's name; an
  // interface that links to a usbfs node is driven through libusb.
  Opened<Device> OpenPipe(const std::string& path) override {
    if (const size_t cut = path.rfind('\\'); cut != std::string::npos) {
      const std::string entry = path.substr(0, cut);
      if (KindOfEntry(entry) == EntryKind::kUsbNode) {
        return OpenBulkPipe(EntryTarget(entry), std::string_view(path).substr(cut + 1));
      }
    }
    return ConnectPipe(path);
  }

  Opened<Device> OpenInterface(const std::string& path) override {
    if (KindOfEntry(path) == EntryKind::kUsbNode) return OpenBulkNode(EntryTarget(path));
    return OpenInterfacePath(path);
  }

  // A link left behind by a device that has gone is no present interface.
  std::optional<std::vector<std::string>> ListInterfaces(const std::string& class_guid) override {
    std::optional<std::vector<std::string>> listed =
        ListInterfaceFolder(InterfaceClassDir(class_guid));
    if (listed) {
      std::erase_if(*listed,
                    [](const std::string& entry) { return KindOfEntry(entry) == EntryKind::kMissing; });
    }
    return listed;
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
