#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/crc16_table.h"
#include "platform/device_system.h"
#include "ports/port.h"
#include "ports/text_out.h"

namespace flashkit {

// The asynchronous-I/O record the pipes are used with: offset and event.
struct OverlappedRecord {
  uint64_t offset = 0;
  std::unique_ptr<platform::Event> event;
};

// The one Port implementation: a COM port through the platform's serial
// lines, and the USB bulk device through its pipes.
class DevicePort : public Port {
 public:
  DevicePort(platform::DeviceSystem& system, TextOut& out, const Crc16Table& crc);
  ~DevicePort() override;
  DevicePort(const DevicePort&) = delete;
  DevicePort& operator=(const DevicePort&) = delete;

  int32_t CreateComInfo() override;
  int32_t OpenUSBHandler() override;
  bool GetDevicePath(const InterfaceClass& cls, std::optional<std::string>& path,
                     int32_t index) override;
  int32_t CountDevices(const InterfaceClass& cls) override;
  int32_t UsbConnect() override;
  int32_t OpenPort(uint32_t port) override;
  int32_t ConfigurePort(uint32_t baud) override;
  int32_t Write(const uint8_t* data, uint32_t length, uint32_t timeout_ms, bool use_usb) override;
  int32_t SendRequest(const char* name, bool use_usb) override;
  int32_t Read(uint8_t* buffer, uint32_t length, uint32_t timeout_ms, bool use_usb) override;
  int32_t ClosePort() override;

  // The front end closes the pipe handles itself at the end of a USB run.
  void CloseUsbPipes();

  // OpenPort for a serial line named by its path ("/dev/ttyUSB0"), with the
  // same results: 0, -100, -101 or -102.
  int32_t OpenPortPath(const std::string& path);
  // Why the last open failed, in words; empty after a successful one.
  std::string OpenFailureText() const;
  // A COM board that has not answered the prompts within `ms` makes
  // SendRequest return -200; without a limit only a stop signal ends them.
  void LimitPrompting(uint32_t ms) { prompt_limit_ms_ = ms; }

 private:
  // What a transfer acts on: a pipe with use_usb, the COM line otherwise;
  // null when that is not open.
  platform::Device* Sender(bool use_usb) const;
  platform::Device* Receiver(bool use_usb) const;

  bool OpenPipe(std::string_view pipe, std::string_view field, std::unique_ptr<platform::Device>& into);
  void ShowWaiting();
  int32_t PromptUntilReady();
  int32_t PromptPipe();
  // After a read that brought part of what was asked: waits as long as the
  // rest takes on the line, then takes what has come. On a paced line each
  // byte wakes a waiting reader on its own; this saves those wake-ups.
  uint32_t TopUp(platform::Device& device, uint8_t* buffer, uint32_t missing);

  platform::DeviceSystem& system_;
  TextOut& out_;
  const Crc16Table& crc_;

  std::unique_ptr<platform::Device> m_RDDev;
  std::unique_ptr<platform::Device> m_WRDev;
  int32_t m_bUSBOpened = 0;
  OverlappedRecord m_RDOverlapped;
  OverlappedRecord m_WROverlapped;
  std::optional<std::string> m_DevPath;
  int32_t OpenLine(const std::string& device_name);

  std::unique_ptr<platform::SerialLine> m_hCom;
  platform::SysStatus open_status_;
  uint32_t prompt_limit_ms_ = 0;  // 0: none
  // The COM line's rate once configured, 0 before.
  uint32_t line_baud_ = 0;
};

// Null when the object cannot be allocated.
std::unique_ptr<DevicePort> CreatePort(platform::DeviceSystem& system, TextOut& out,
                                       const Crc16Table& crc);

}  // namespace flashkit
