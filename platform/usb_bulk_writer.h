#pragma once

#include <memory>

#include "platform/device.h"
#include "platform/usb_bulk_node.h"
#include "platform/usb_bulk_transfer.h"

namespace flashkit::platform {

// The pipe carrying data to the device: bulk OUT transfers of at most
// kChunk bytes, one after the other. A chunk the device has not taken whole
// within FdDevice::kWriteStallMs (or when a stop signal comes) is cancelled,
// and the write reports what went, as a full serial line or socket does.
class UsbBulkWriter : public Device {
 public:
  static constexpr size_t kChunk = 16384;

  explicit UsbBulkWriter(std::shared_ptr<UsbBulkNode> node);
  ~UsbBulkWriter() override;

  int Id() const override;
  // The pipe to the device gives no bytes.
  IoResult Read(uint8_t* data, size_t len) override;
  IoResult Write(const uint8_t* data, size_t len) override;
  void PollInput(uint32_t ms) override;
  bool Close() override;

 private:
  // Sends one chunk, waiting while it moves; the bytes it moved, and
  // whether to go on with the next.
  IoResult SendChunk(const uint8_t* data, size_t len, bool* go_on);
  // Cancels the transfer in flight and waits for it; one that never comes
  // back is left to the node and a fresh one made.
  void Recall();

  std::shared_ptr<UsbBulkNode> node_;
  std::unique_ptr<BulkTransfer> transfer_;
};

}  // namespace flashkit::platform
