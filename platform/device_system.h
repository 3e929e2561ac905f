#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/device.h"
#include "platform/event.h"

namespace flashkit::platform {

template <typename T>
struct Opened {
  std::unique_ptr<T> device;  // null on failure
  SysStatus status;
};

// The platform services the device ports stand on. The real one maps Windows
// device names onto the device namespace; tests substitute a fake.
class DeviceSystem {
 public:
  virtual ~DeviceSystem() = default;

  // Opens a serial line by its Windows device name ("\\.\com7") or by its
  // path ("/dev/ttyUSB0"), exclusively: a line another program holds gives
  // kAccessDenied, a missing one kFileNotFound, a node that is no terminal
  // kOther.
  virtual Opened<SerialLine> OpenSerial(const std::string& device_name) = 0;

  // Opens a USB pipe by its path ("<interface path>\PIPE00"). Reads never
  // wait; a device that went away makes reads and writes fail.
  virtual Opened<Device> OpenPipe(const std::string& path) = 0;

  // Opens a device interface path itself: proof that the device is there.
  virtual Opened<Device> OpenInterface(const std::string& path) = 0;

  // The paths of the present device interfaces of a class ("{GUID}" text),
  // in enumeration order; nothing when the set cannot be obtained.
  virtual std::optional<std::vector<std::string>> ListInterfaces(const std::string& class_guid) = 0;

  virtual std::unique_ptr<Event> NewEvent() = 0;

  virtual Clock& clock() = 0;
};

// The real system: the device namespace of the machine. Thread-safe.
DeviceSystem& RealSystem();

}  // namespace flashkit::platform
