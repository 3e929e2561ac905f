#include "gui/links/usb_link.h"

#include <algorithm>
#include <array>

#include "gui/links/byte_wait.h"
#include "gui/links/trace.h"
#include "platform/usb_pipe_path.h"

namespace flashkit {
namespace {

// What Windows reports for a transfer on a handle that is not open, and for a
// file name too long to form.
constexpr int kInvalidHandle = 6;
constexpr int kNameTooLong = 206;

int Code(const platform::SysStatus& status) { return static_cast<int>(status.error); }

bool EntryNamed(std::string_view path, std::string_view name) {
  const size_t slash = path.find_last_of("/\\");
  return path.substr(slash == std::string_view::npos ? 0 : slash + 1) == name;
}

}  // namespace

UsbLink::UsbLink(platform::DeviceSystem& system)
    : system_(system), m_pLock(std::make_unique<platform::NamedLock>("USB_LOCK")) {
  ResetRing();
}

UsbLink::~UsbLink() { Close(); }

int32_t UsbLink::Connect() {
  m_hDevice = FindDevice(platform::kBulkInterfaceClass, m_DevPath);
  if (!m_hDevice) return 0;
  if (OpenPipes() == 0) {
    // Whatever did open belongs to no connection.
    Release();
    return 0;
  }
  CreateIoEvents();
  // Bytes left from an earlier connection are no answer on this one.
  ResetRing();
  Trace("USB Opened successfully.\n");
  return 1;
}

std::unique_ptr<platform::Device> UsbLink::FindDevice(const std::string& class_guid,
                                                      std::string& path) {
  const std::optional<std::vector<std::string>> interfaces = system_.ListInterfaces(class_guid);
  if (!interfaces) return nullptr;
  for (const std::string& interface_path : *interfaces) {
    if (!entry_name_.empty() && !EntryNamed(interface_path, entry_name_)) continue;
    if (std::unique_ptr<platform::Device> device = OpenInterface(interface_path, path)) return device;
  }
  return nullptr;
}

std::unique_ptr<platform::Device> UsbLink::OpenInterface(const std::string& interface_path,
                                                         std::string& path) {
  path = interface_path;
  Trace("Attempting to open %s\n", path.c_str());
  platform::Opened<platform::Device> opened = system_.OpenInterface(path);
  if (!opened.device) Trace("FAILED to open.\n");
  return std::move(opened.device);
}

int32_t UsbLink::OpenPipes() {
  const std::pair<std::string_view, std::unique_ptr<platform::Device>*> pipes[] = {
      {platform::kReadPipeName, &m_RDDev}, {platform::kWritePipeName, &m_WRDev}};
  for (const auto& [pipe, into] : pipes) {
    const std::optional<std::string> path = platform::PipePath(m_DevPath, pipe);
    if (!path) {
      Trace("Failed to open (%s\\%s) = %d", m_DevPath.c_str(), std::string(pipe).c_str(),
            kNameTooLong);
      return 0;
    }
    platform::Opened<platform::Device> opened = system_.OpenPipe(*path);
    if (!opened.device) {
      Trace("Failed to open (%s) = %d", path->c_str(), Code(opened.status));
      return 0;
    }
    *into = std::move(opened.device);
  }
  Trace("--------- WRITE PIPE Opened successfully.\n");
  return 1;
}

// The transfers need no events here; they are kept for the life of a
// connection all the same, and a second one that cannot be made takes the
// first with it.
void UsbLink::CreateIoEvents() {
  m_RDEvent = system_.NewEvent();
  m_WREvent = system_.NewEvent();
  if (!m_WREvent) m_RDEvent.reset();
}

int32_t UsbLink::Write(const uint8_t* data, uint32_t length) {
  if (!m_WRDev) {
    Trace("SEND_ERROR[%d]\n", kInvalidHandle);
    return 0;
  }
  const platform::IoResult result = m_WRDev->Write(data, length);
  if (!result.ok()) Trace("SEND_ERROR[%d]\n", Code(result.status));
  return static_cast<int32_t>(result.count);
}

int32_t UsbLink::Read(uint8_t* buffer, uint32_t length) {
  uint32_t count = 0;
  while (count < length && TakeByte(&buffer[count]) == 1) ++count;
  if (count > 0 || length == 0) return static_cast<int32_t>(count);
  if (!m_RDDev) {
    Trace("READ_ERROR[%d]", kInvalidHandle);
    return 0;
  }
  platform::Clock& clock = system_.clock();
  const uint64_t give_up_at = clock.NowMs() + kReadTimeoutMs;
  for (;;) {
    const platform::IoResult result = m_RDDev->Read(buffer, length);
    if (!result.ok()) {
      Trace("READ_ERROR[%d]", Code(result.status));
      return static_cast<int32_t>(result.count);
    }
    if (result.count > 0) return static_cast<int32_t>(result.count);
    const uint64_t now = clock.NowMs();
    if (now >= give_up_at) {
      Trace("READ_TIMEOUT\n");
      return 0;
    }
    clock.SleepUntilInput(*m_RDDev, static_cast<uint32_t>(give_up_at - now));
  }
}

void UsbLink::Close() {
  Trace("--------- Close USB.\n");
  Release();
}

void UsbLink::Release() {
  for (std::unique_ptr<platform::Device>* device : {&m_hDevice, &m_RDDev, &m_WRDev}) {
    if (*device) (*device)->Close();
    device->reset();
  }
  m_RDEvent.reset();
  m_WREvent.reset();
}

void UsbLink::ResetRing() {
  // A lock that cannot be had leaves the reset unguarded, as a mutex that
  // could not be created would.
  const bool locked = m_pLock->Lock();
  m_Ring.Reset();
  if (locked) m_pLock->Unlock();
}

int32_t UsbLink::TakeByte(uint8_t* byte) { return m_Ring.Take(byte) ? 1 : -1; }

void UsbLink::FillRing() {
  if (!m_RDDev) return;
  const int32_t room = m_Ring.Room();
  if (room == 0) return;
  std::array<uint8_t, kRingSize> buffer;
  // A failing pipe just adds nothing; Read reports it.
  const platform::IoResult result = m_RDDev->Read(buffer.data(), static_cast<size_t>(room));
  if (result.ok()) m_Ring.Store(buffer.data(), static_cast<int32_t>(result.count));
}

int32_t UsbLink::WaitForByte(uint8_t expected, std::optional<uint8_t>* other) {
  return WaitForExpectedByte(
      system_.clock(),
      [this](uint8_t* byte) {
        FillRing();
        return TakeByte(byte) == 1;
      },
      expected, other);
}

}  // namespace flashkit
