#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/device_system.h"
#include "platform/named_lock.h"

namespace flashkit {

// flashpanel's connection to the USB bulk device: the first present
// interface of the device class that opens, and its two pipes. A 256-byte
// receive ring, fed from the read pipe by WaitForByte, guarded by the
// system-wide lock "USB_LOCK" when reset. Used by one thread at a time.
class UsbLink {
 public:
  static constexpr int kRingSize = 256;
  // How long Read waits for the device before it gives up with 0.
  static constexpr uint32_t kReadTimeoutMs = 5000;

  explicit UsbLink(platform::DeviceSystem& system);
  ~UsbLink();

  int32_t Connect();
  int32_t Write(const uint8_t* data, uint32_t length);
  int32_t Read(uint8_t* buffer, uint32_t length);
  void Close();
  void ResetRing();
  int32_t TakeByte(uint8_t* byte);
  int32_t WaitForByte(uint8_t expected);

  // The first interface of the class that opens, its path in `path`; null
  // when none does.
  std::unique_ptr<platform::Device> FindDevice(const std::string& class_guid, std::string& path);
  int32_t OpenPipes();

 private:
  std::unique_ptr<platform::Device> OpenInterface(const std::string& interface_path,
                                                  std::string& path);
  // Moves what has arrived on the read pipe into the ring, as far as it has room.
  void FillRing();

  platform::DeviceSystem& system_;
  std::unique_ptr<platform::Event> m_RDEvent;
  std::unique_ptr<platform::Event> m_WREvent;
  std::unique_ptr<platform::Device> m_hDevice;
  std::unique_ptr<platform::Device> m_RDDev;
  std::unique_ptr<platform::Device> m_WRDev;
  std::string m_DevPath;
  std::unique_ptr<platform::NamedLock> m_pLock;
  int32_t m_WriteIndex = 0;
  int32_t m_ReadIndex = 0;
  std::array<uint8_t, kRingSize> m_Ring{};
};

}  // namespace flashkit
