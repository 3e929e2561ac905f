#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "gui/links/byte_ring.h"
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
  UsbLink(const UsbLink&) = delete;
  UsbLink& operator=(const UsbLink&) = delete;

  // Only the interface whose entry (the last part of its path) is `name`
  // is taken from now on; empty: the first that opens, whatever its name.
  void SetEntryName(std::string name) { entry_name_ = std::move(name); }
  // 1 when the device and both pipes are open; 0 with nothing left open.
  int32_t Connect();
  int32_t Write(const uint8_t* data, uint32_t length);
  // Bytes read, as soon as any are there (those WaitForByte moved into the
  // ring first); 0 when none came within kReadTimeoutMs or the pipe failed.
  int32_t Read(uint8_t* buffer, uint32_t length);
  void Close();
  void ResetRing();
  int32_t TakeByte(uint8_t* byte);
  // `other`, when given, keeps the last byte that came and was not `expected`.
  int32_t WaitForByte(uint8_t expected, std::optional<uint8_t>* other = nullptr);

  // The first interface of the class that opens, its path in `path`; null
  // when none does.
  std::unique_ptr<platform::Device> FindDevice(const std::string& class_guid, std::string& path);
  int32_t OpenPipes();

 private:
  std::unique_ptr<platform::Device> OpenInterface(const std::string& interface_path,
                                                  std::string& path);
  void CreateIoEvents();
  // Closes whatever is open, without a word.
  void Release();
  // Moves what has arrived on the read pipe into the ring, as far as it has room.
  void FillRing();

  platform::DeviceSystem& system_;
  std::unique_ptr<platform::Event> m_RDEvent;
  std::unique_ptr<platform::Event> m_WREvent;
  std::unique_ptr<platform::Device> m_hDevice;
  std::unique_ptr<platform::Device> m_RDDev;
  std::unique_ptr<platform::Device> m_WRDev;
  std::string m_DevPath;
  std::string entry_name_;
  std::unique_ptr<platform::NamedLock> m_pLock;
  ByteRing<kRingSize> m_Ring;
};

}  // namespace flashkit
