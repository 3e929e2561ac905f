#pragma once

#include <memory>
#include <vector>

#include "platform/device.h"
#include "platform/usb_bulk_node.h"
#include "platform/usb_bulk_transfer.h"

namespace flashkit::platform {

// The pipe carrying data from the device: bulk IN transfers of one packet
// each, kept in flight all the time, so bytes that arrive between reads wait
// in them and every packet ends its transfer (a full packet with nothing
// after it would otherwise sit in a larger one). Reads hand the bytes out in
// the order the transfers were posted and post each emptied one again.
class UsbBulkReader : public Device {
 public:
  static constexpr size_t kTransfers = 8;

  explicit UsbBulkReader(std::shared_ptr<UsbBulkNode> node);
  ~UsbBulkReader() override;

  int Id() const override;
  IoResult Read(uint8_t* data, size_t len) override;
  // The pipe from the device takes no bytes.
  IoResult Write(const uint8_t* data, size_t len) override;
  void PollInput(uint32_t ms) override;
  bool Close() override;

 private:
  BulkTransfer& Head() { return *ring_[head_]; }
  void Post(BulkTransfer& transfer);

  std::shared_ptr<UsbBulkNode> node_;
  std::vector<std::unique_ptr<BulkTransfer>> ring_;
  size_t head_ = 0;
  size_t taken_ = 0;  // bytes of the head transfer already handed out
};

}  // namespace flashkit::platform
