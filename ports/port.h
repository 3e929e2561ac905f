#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/usb_pipe_path.h"

namespace flashkit {

// A device interface class, as text in braces: "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}".
struct InterfaceClass {
  const char* text;
};

// The class of the USB bulk devices linkxfer talks to.
inline constexpr InterfaceClass kBulkDeviceClass{platform::kBulkInterfaceClass};

// linkxfer's device: a serial COM port or the USB bulk device's two pipes,
// one object for both. Write, Read and SendRequest act on the pipes when
// their use_usb flag is set, on the COM port otherwise. Results are counts
// or zero on success and negative status codes (ports/status.h) on failure.
// Single-threaded.
class Port {
 public:
  virtual int32_t CreateComInfo() = 0;
  virtual int32_t OpenUSBHandler() = 0;
  // Stores a copy of the path of the interface at `index` of `cls`; false and
  // nothing stored when there is none.
  virtual bool GetDevicePath(const InterfaceClass& cls, std::optional<std::string>& path,
                             int32_t index) = 0;
  virtual int32_t CountDevices(const InterfaceClass& cls) = 0;
  virtual int32_t UsbConnect() = 0;
  virtual int32_t OpenPort(uint32_t port) = 0;
  virtual int32_t ConfigurePort(uint32_t baud) = 0;
  // Bytes written (0 when nothing moved within the time-out) or -104.
  virtual int32_t Write(const uint8_t* data, uint32_t length, uint32_t timeout_ms, bool use_usb) = 0;
  // 1 (COM: the device answered 'C'), 0 (USB: start bytes written), -300, or
  // -502 when a stop signal ended the prompting (-200 when a limit set on
  // the prompting ran out).
  virtual int32_t SendRequest(const char* name, bool use_usb) = 0;
  // Bytes read, as soon as any arrive (0 when none came within the time-out),
  // or -105.
  virtual int32_t Read(uint8_t* buffer, uint32_t length, uint32_t timeout_ms, bool use_usb) = 0;
  // -1 when no COM device is open, else nonzero on success and 0 on failure.
  virtual int32_t ClosePort() = 0;
  virtual ~Port() = 0;
};

inline Port::~Port() {}

}  // namespace flashkit
