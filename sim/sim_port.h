#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/event.h"
#include "ports/port.h"
#include "sim/line_end.h"

namespace flashkit::sim {

// The simulated device's own side of its line: a Port for the device logic
// (so the protocol engine runs on it unchanged) and a LineEnd for the pump.
// Read returns as soon as any byte is there, 0 when none came within the
// time-out, -105 once shut down; Write queues the bytes for the line and
// returns their count, or -104 once shut down. Written bytes enter the line
// when Write is called, however late the pump takes them, as a device's
// UART would send them. Read and Write may run on the device thread while
// the pump thread uses the LineEnd side.
class SimPort : public Port, public LineEnd {
 public:
  // Null when the wake-up event cannot be made.
  static std::unique_ptr<SimPort> Create(std::string label);

  // Makes every wait end and every later Read and Write fail, so a device
  // thread blocked in the protocol engine returns promptly.
  void Shutdown();
  // The far side has gone: Read still returns what it sent before it went,
  // then fails; Write fails at once.
  void HangUp();

  // Port.
  int32_t CreateComInfo() override { return 1; }
  int32_t OpenUSBHandler() override { return 0; }
  bool GetDevicePath(const InterfaceClass&, std::optional<std::string>& path, int32_t) override;
  int32_t CountDevices(const InterfaceClass&) override { return 0; }
  int32_t UsbConnect() override { return 0; }
  int32_t OpenPort(uint32_t) override { return 0; }
  int32_t ConfigurePort(uint32_t) override { return 0; }
  int32_t Write(const uint8_t* data, uint32_t length, uint32_t timeout_ms, bool use_usb) override;
  // A device never asks for a download itself.
  int32_t SendRequest(const char* name, bool use_usb) override;
  int32_t Read(uint8_t* buffer, uint32_t length, uint32_t timeout_ms, bool use_usb) override;
  int32_t ClosePort() override { return 1; }

  // LineEnd.
  int InputFd() const override { return outgoing_event_->Fd(); }
  bool Take(std::vector<EnteredBytes>& out) override;
  long Give(std::span<const uint8_t> bytes) override;
  bool HasPending() override;
  std::string Label() const override { return label_; }

 protected:
  SimPort(std::string label, std::unique_ptr<platform::Event> event);

 private:
  const std::string label_;
  std::unique_ptr<platform::Event> outgoing_event_;

  std::mutex mutex_;
  std::condition_variable incoming_cv_;
  std::deque<uint8_t> incoming_;
  std::vector<EnteredBytes> outgoing_;  // one entry per Write, stamped
  bool shut_down_ = false;
  bool hung_up_ = false;
};

}  // namespace flashkit::sim
