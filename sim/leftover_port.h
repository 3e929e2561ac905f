#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ports/port.h"

namespace flashkit::sim {

// A Port that first reads out bytes an earlier step took from the line but
// did not use, then reads the line again; everything else goes straight to
// the port beneath.
class LeftoverPort : public Port {
 public:
  LeftoverPort(Port& line, std::span<const uint8_t> leftover);

  int32_t CreateComInfo() override { return line_.CreateComInfo(); }
  int32_t OpenUSBHandler() override { return line_.OpenUSBHandler(); }
  bool GetDevicePath(const InterfaceClass& cls, std::optional<std::string>& path,
                     int32_t index) override {
    return line_.GetDevicePath(cls, path, index);
  }
  int32_t CountDevices(const InterfaceClass& cls) override { return line_.CountDevices(cls); }
  int32_t UsbConnect() override { return line_.UsbConnect(); }
  int32_t OpenPort(uint32_t port) override { return line_.OpenPort(port); }
  int32_t ConfigurePort(uint32_t baud) override { return line_.ConfigurePort(baud); }
  int32_t Write(const uint8_t* data, uint32_t length, uint32_t timeout_ms, bool use_usb) override;
  int32_t SendRequest(const char* name, bool use_usb) override {
    return line_.SendRequest(name, use_usb);
  }
  int32_t Read(uint8_t* buffer, uint32_t length, uint32_t timeout_ms, bool use_usb) override;
  int32_t ClosePort() override { return line_.ClosePort(); }

  // Whether the leftover starts a block: the host has already begun sending.
  bool BlockBegun() const;

  // The leftover bytes not read yet.
  std::span<const uint8_t> Unread() const {
    return std::span<const uint8_t>(leftover_).subspan(next_);
  }

 private:
  Port& line_;
  std::vector<uint8_t> leftover_;
  size_t next_ = 0;
  // A host that has begun its block has had its start character: the first
  // one-byte write (the receiver's 'C') does not go out again.
  bool start_given_ = false;
};

}  // namespace flashkit::sim
