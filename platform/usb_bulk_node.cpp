#include "platform/usb_bulk_node.h"

#include <fcntl.h>
#include <libusb.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <map>

#include "platform/clock.h"
#include "platform/signals.h"
#include "platform/usb_transfer_status.h"

namespace flashkit::platform {
namespace {

// The nodes some pipe has open, by path. A node leaves when its last pipe
// closes, under the same lock, so a new open never meets a half-closed one.
struct Registry {
  std::mutex mutex;
  std::map<std::string, std::weak_ptr<UsbBulkNode>> nodes;
};

Registry& Nodes() {
  static Registry registry;
  return registry;
}

// Opening a device that is no longer there finds nothing, as a socket file
// nobody listens on does.
SysStatus OpenFailure(int libusb_error) {
  return libusb_error == LIBUSB_ERROR_NO_DEVICE ? SysStatus::FromErrno(ENOENT)
                                                : LibusbFailure(libusb_error);
}

int PollMs(uint64_t ms) { return static_cast<int>(std::min<uint64_t>(ms, INT_MAX)); }

}  // namespace

std::shared_ptr<UsbBulkNode> UsbBulkNode::Acquire(const std::string& path, SysStatus* status) {
  Registry& registry = Nodes();
  std::lock_guard<std::mutex> guard(registry.mutex);
  if (std::shared_ptr<UsbBulkNode> open = registry.nodes[path].lock()) {
    *status = SysStatus::Ok();
    return open;
  }
  std::unique_ptr<UsbBulkNode> node(new UsbBulkNode(path));
  *status = node->Open();
  if (!status->ok()) {
    registry.nodes.erase(path);
    return nullptr;
  }
  std::shared_ptr<UsbBulkNode> shared(node.release(), [](UsbBulkNode* gone) {
    Registry& nodes = Nodes();
    std::lock_guard<std::mutex> lock(nodes.mutex);
    const auto entry = nodes.nodes.find(gone->path_);
    if (entry != nodes.nodes.end() && entry->second.expired()) nodes.nodes.erase(entry);
    delete gone;
  });
  registry.nodes[path] = shared;
  return shared;
}

SysStatus UsbBulkNode::Open() {
  fd_ = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
  if (fd_ < 0) return SysStatus::FromErrno(errno);
  // The node is all this context ever sees: no scan of the machine's buses.
  libusb_set_option(nullptr, LIBUSB_OPTION_NO_DEVICE_DISCOVERY);
  if (const int result = libusb_init(&context_); result != 0) {
    context_ = nullptr;
    return LibusbFailure(result);
  }
  if (const int result = libusb_wrap_sys_device(context_, fd_, &handle_); result != 0) {
    handle_ = nullptr;
    return OpenFailure(result);
  }
  libusb_config_descriptor* config = nullptr;
  if (const int result = libusb_get_active_config_descriptor(libusb_get_device(handle_), &config);
      result != 0) {
    return OpenFailure(result);
  }
  const bool found = FindEndpoints(*config);
  libusb_free_config_descriptor(config);
  if (!found) return SysStatus::FromErrno(ENOENT);
  // A kernel driver bound to the interface (a serial class driver, say)
  // lets go of it for the claim and gets it back at the release.
  libusb_set_auto_detach_kernel_driver(handle_, 1);
  if (const int result = libusb_claim_interface(handle_, interface_); result != 0) {
    return OpenFailure(result);
  }
  claimed_ = true;
  return SysStatus::Ok();
}

bool UsbBulkNode::FindEndpoints(const libusb_config_descriptor& config) {
  if (config.bNumInterfaces == 0 || config.interface[0].num_altsetting == 0) return false;
  const libusb_interface_descriptor& first = config.interface[0].altsetting[0];
  interface_ = first.bInterfaceNumber;
  for (int i = 0; i < first.bNumEndpoints; ++i) {
    const libusb_endpoint_descriptor& endpoint = first.endpoint[i];
    if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) continue;
    const bool in = (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
    Endpoint& slot = in ? in_ : out_;
    if (slot.address == 0) {
      // The low eleven bits are the packet size; high-speed extras above.
      slot = {endpoint.bEndpointAddress, static_cast<uint16_t>(endpoint.wMaxPacketSize & 0x7FF)};
    }
  }
  return true;
}

UsbBulkNode::~UsbBulkNode() {
  if (claimed_) libusb_release_interface(handle_, interface_);
  if (handle_ != nullptr) libusb_close(handle_);
  if (fd_ >= 0) ::close(fd_);
  // With the descriptor closed the kernel has dropped their requests.
  adopted_.clear();
  if (context_ != nullptr) libusb_exit(context_);
}

const UsbBulkNode::Endpoint& UsbBulkNode::endpoint(BulkDirection direction) const {
  return direction == BulkDirection::kIn ? in_ : out_;
}

bool UsbBulkNode::TakePipe(BulkDirection direction) {
  bool& taken = direction == BulkDirection::kIn ? in_taken_ : out_taken_;
  if (taken) return false;
  taken = true;
  return true;
}

void UsbBulkNode::ReturnPipe(BulkDirection direction) {
  (direction == BulkDirection::kIn ? in_taken_ : out_taken_) = false;
}

void UsbBulkNode::HandleEvents() {
  timeval zero{};
  libusb_handle_events_timeout_completed(context_, &zero, nullptr);
}

bool UsbBulkNode::WaitUntil(const std::function<bool()>& done, uint64_t deadline_ms) {
  Clock& clock = SystemClock();
  for (;;) {
    HandleEvents();
    if (done()) return true;
    const uint64_t now = clock.NowMs();
    if (now >= deadline_ms || StopSignal() != 0) return false;
    WaitForActivity(deadline_ms - now);
  }
}

// libusb's descriptors and the stop signal's: whichever wakes first.
void UsbBulkNode::WaitForActivity(uint64_t ms) {
  std::vector<pollfd> fds;
  if (const libusb_pollfd** listed = libusb_get_pollfds(context_)) {
    for (const libusb_pollfd** p = listed; *p != nullptr; ++p) {
      fds.push_back({(*p)->fd, (*p)->events, 0});
    }
    libusb_free_pollfds(listed);
  }
  fds.push_back({StopSignalFd(), POLLIN, 0});
  ::poll(fds.data(), fds.size(), PollMs(ms));
}

void UsbBulkNode::Adopt(std::unique_ptr<BulkTransfer> transfer) {
  adopted_.push_back(std::move(transfer));
}

}  // namespace flashkit::platform
