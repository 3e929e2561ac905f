#include <limits>

#include "ports/device_port.h"

namespace flashkit {
namespace {

// Pipe paths were built in 256 bytes: the device path, "\", six letters, NUL.
// A longer path is refused rather than cut, which would name another file.
constexpr size_t kMaxDevicePath = 248;
constexpr char kPipeSeparator[] = "\\";
constexpr char kReadPipe[] = "PIPE00";
constexpr char kWritePipe[] = "PIPE01";

}  // namespace

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
  if (!m_DevPath || m_DevPath->size() > kMaxDevicePath) return 0;
  if (!OpenPipe(kReadPipe, "m_RDDev", m_RDDev)) return 0;
  // A read pipe already open stays open; the front end closes it.
  if (!OpenPipe(kWritePipe, "m_WRDev", m_WRDev)) return 0;
  m_bUSBOpened = 1;
  return 1;
}

bool DevicePort::OpenPipe(std::string_view pipe, std::string_view field,
                          std::unique_ptr<platform::Device>& into) {
  const std::string path = *m_DevPath + kPipeSeparator + std::string(pipe);
  into = system_.OpenPipe(path).device;
  if (!into) return false;
  const std::string label = std::string(field) + " : ";
  out_.Print(label + path + "\n");
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
