#pragma once

#include <memory>
#include <string>

#include "platform/device.h"
#include "sim/line_end.h"

namespace flashkit::sim {

// The host's end of a simulated USB device: what the host writes into
// PIPE01 enters the line, and what comes out goes to the host's PIPE00.
// Both are accepted pipe connections, which never wait; the host closing
// its pipes shows as a failed Take.
class UsbEnd : public LineEnd {
 public:
  UsbEnd(std::string label, std::unique_ptr<platform::Device> pipe01,
         std::unique_ptr<platform::Device> pipe00);

  int InputFd() const override { return pipe01_->Id(); }
  int OutputFd() const override { return pipe00_->Id(); }
  bool Take(std::vector<EnteredBytes>& out) override;
  long Give(std::span<const uint8_t> bytes) override;
  std::string Label() const override { return label_; }

 private:
  std::string label_;
  std::unique_ptr<platform::Device> pipe01_;  // from the host
  std::unique_ptr<platform::Device> pipe00_;  // to the host
};

}  // namespace flashkit::sim
