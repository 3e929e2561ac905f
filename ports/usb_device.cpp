#include <limits>

#include "platform/usb_pipe_path.h"
#include "ports/device_port.h"

namespace flashkit {

int32_t DevicePort::CountDevices(const InterfaceClass& cls) {
  const auto interfaces = system_.ListInterfaces(cls.text);
  if (!interfaces) return 0;
  return static_cast<int32_t>(
      std::min<size_t>(interfaces->size(), std::numeric_limits<int32_t>::max()));
}

bool DevicePort::GetDevicePath(const InterfaceClass& cls, std::optional<std::string>& path,
                               int32_t index) {
  path.reset();
  const auto interfaces = system_.ListInterfaces(cls.text);
  if (!interfaces || index < 0 || static_cast<size_t>(index) >= interfaces->size()) return false;
  path = (*interfaces)[static_cast<size_t>(index)];
  return true;
}

int32_t DevicePort::UsbConnect() {
  if (CountDevices(kBulkDeviceClass) == 0) return 0;
  return GetDevicePath(kBulkDeviceClass, m_DevPath, 0) ? 1 : 0;
}

int32_t DevicePort::OpenUSBHandler() {
  m_bUSBOpened = 0;
  // Without a device there is nothing to look for.
  if (!m_DevPath) return 0;
  if (!OpenPipe(platform::kReadPipeName, "m_RDDev", m_RDDev)) return 0;
  // A read pipe already open stays open; the front end closes it.
  if (!OpenPipe(platform::kWritePipeName, "m_WRDev", m_WRDev)) return 0;
  m_bUSBOpened = 1;
  return 1;
}

bool DevicePort::OpenPipe(std::string_view pipe, std::string_view field,
                          std::unique_ptr<platform::Device>& into) {
  const std::optional<std::string> path = platform::PipePath(*m_DevPath, pipe);
  if (!path) return false;
  into = system_.OpenPipe(*path).device;
  if (!into) return false;
  const std::string label = std::string(field) + " : ";
  out_.Print(label + *path + "\n");
  out_.Print(label + std::to_string(into->Id()) + "\n");
  return true;
}

void DevicePort::CloseUsbPipes() {
  for (std::unique_ptr<platform::Device>* pipe : {&m_RDDev, &m_WRDev}) {
    if (*pipe) (*pipe)->Close();
    pipe->reset();
  }
  m_bUSBOpened = 0;
}

}  // namespace flashkit
