#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sys_error.h"
#include "platform/usb_bulk_transfer.h"

struct libusb_context;
struct libusb_device_handle;
struct libusb_config_descriptor;

namespace flashkit::platform {

enum class BulkDirection { kIn, kOut };

// A usbfs device node opened through libusb, its first interface claimed
// (a kernel driver bound to it is detached first). The read and the write
// pipe of the device share one node; the last of them to close releases the
// interface. The pipes take turns: each of their calls holds lock().
class UsbBulkNode {
 public:
  struct Endpoint {
    uint8_t address = 0;  // 0: the interface has no such endpoint
    uint16_t max_packet = 0;
  };

  // The node at `path`, opened and claimed when no pipe has it open yet.
  // A device that has gone is not found, as a socket nobody listens on.
  static std::shared_ptr<UsbBulkNode> Acquire(const std::string& path, SysStatus* status);

  ~UsbBulkNode();
  UsbBulkNode(const UsbBulkNode&) = delete;
  UsbBulkNode& operator=(const UsbBulkNode&) = delete;

  // The first bulk endpoint of the direction.
  const Endpoint& endpoint(BulkDirection direction) const;
  // One pipe per direction, or the device's bytes would be split between
  // two readers: false when that pipe is open already.
  bool TakePipe(BulkDirection direction);
  void ReturnPipe(BulkDirection direction);

  std::mutex& lock() { return lock_; }
  libusb_device_handle* handle() const { return handle_; }
  int fd() const { return fd_; }

  // Lets the transfers that have ended finish, without waiting.
  void HandleEvents();
  // Handles events until `done` holds, the monotonic clock reaches
  // `deadline_ms` or a stop signal arrives; returns done().
  bool WaitUntil(const std::function<bool()>& done, uint64_t deadline_ms);
  // Keeps a transfer whose cancellation never finished until the handle is
  // closed; the kernel lets go of it then.
  void Adopt(std::unique_ptr<BulkTransfer> transfer);

 private:
  explicit UsbBulkNode(std::string path) : path_(std::move(path)) {}
  SysStatus Open();
  // The first interface of the configuration and its first bulk endpoints.
  bool FindEndpoints(const libusb_config_descriptor& config);
  void WaitForActivity(uint64_t ms);

  std::string path_;
  int fd_ = -1;
  libusb_context* context_ = nullptr;
  libusb_device_handle* handle_ = nullptr;
  int interface_ = -1;
  bool claimed_ = false;
  Endpoint in_;
  Endpoint out_;
  bool in_taken_ = false;
  bool out_taken_ = false;
  std::vector<std::unique_ptr<BulkTransfer>> adopted_;
  std::mutex lock_;
};

}  // namespace flashkit::platform
