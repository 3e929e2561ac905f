#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "tests/usbhw/usb_test_device.h"

// The kernel's side of usbfs for one device, as libusb drives it.
namespace flashkit::testing {
namespace {

constexpr uint8_t kGetConfiguration = 8;
constexpr long kFullSpeed = 2;

UMockdevIoctlData* Resolve(UMockdevIoctlData* data, size_t offset, size_t length) {
  return umockdev_ioctl_data_resolve(data, offset, length, nullptr);
}

usbdevfs_urb& UrbOf(UMockdevIoctlData* data) { return *reinterpret_cast<usbdevfs_urb*>(data->data); }

// The URB's buffer, resolved when it was submitted.
uint8_t* BufferOf(UMockdevIoctlData* data) {
  UMockdevIoctlData* buffer =
      Resolve(data, offsetof(usbdevfs_urb, buffer), static_cast<size_t>(UrbOf(data).buffer_length));
  uint8_t* bytes = buffer->data;
  g_object_unref(buffer);
  return bytes;
}

}  // namespace

int UsbTestDevice::Handle(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
  auto* device = static_cast<UsbTestDevice*>(self);
  const auto [result, err] = device->Answer(umockdev_ioctl_client_get_request(client),
                                            umockdev_ioctl_client_get_arg(client));
  umockdev_ioctl_client_complete(client, result, err);
  return TRUE;
}

std::pair<long, int> UsbTestDevice::Answer(unsigned long request, UMockdevIoctlData* arg) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A device that is gone answers nothing but the requests it had finished.
  if (unplugged_ && request != USBDEVFS_REAPURBNDELAY && request != USBDEVFS_REAPURB) {
    return {-1, ENODEV};
  }
  switch (request) {
    case USBDEVFS_CONNECTINFO: {
      UMockdevIoctlData* info = Resolve(arg, 0, sizeof(usbdevfs_connectinfo));
      reinterpret_cast<usbdevfs_connectinfo*>(info->data)->devnum = static_cast<unsigned>(number_);
      g_object_unref(info);
      return {0, 0};
    }
    case USBDEVFS_GET_SPEED:
      return {kFullSpeed, 0};
    case USBDEVFS_CONTROL:
      return Control(arg);
    case USBDEVFS_GETDRIVER: {
      if (driver_.empty()) return {-1, ENODATA};
      UMockdevIoctlData* got = Resolve(arg, 0, sizeof(usbdevfs_getdriver));
      std::strncpy(reinterpret_cast<usbdevfs_getdriver*>(got->data)->driver, driver_.c_str(),
                   USBDEVFS_MAXDRIVERNAME);
      g_object_unref(got);
      return {0, 0};
    }
    case USBDEVFS_IOCTL:
      return DriverCall(arg);
    case USBDEVFS_CLAIMINTERFACE:
      return Claim(arg, true);
    case USBDEVFS_RELEASEINTERFACE:
      return Claim(arg, false);
    case USBDEVFS_SUBMITURB:
      return Submit(arg);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
      return Reap(arg);
    case USBDEVFS_DISCARDURB:
      return Discard(arg);
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
      return {0, 0};
    default:
      // A kernel older than disconnect-and-claim or capabilities: libusb
      // falls back to the plain calls above.
      return {-1, ENOTTY};
  }
}

std::pair<long, int> UsbTestDevice::Control(UMockdevIoctlData* arg) {
  UMockdevIoctlData* control = Resolve(arg, 0, sizeof(usbdevfs_ctrltransfer));
  const auto& request = *reinterpret_cast<usbdevfs_ctrltransfer*>(control->data);
  std::pair<long, int> result{-1, EPIPE};
  if (request.bRequestType == 0x80 && request.bRequest == kGetConfiguration && request.wLength == 1) {
    UMockdevIoctlData* value = Resolve(control, offsetof(usbdevfs_ctrltransfer, data), 1);
    value->data[0] = 1;
    g_object_unref(value);
    result = {1, 0};
  }
  g_object_unref(control);
  return result;
}

// Detaching (and giving back) the kernel driver of an interface.
std::pair<long, int> UsbTestDevice::DriverCall(UMockdevIoctlData* arg) {
  UMockdevIoctlData* call = Resolve(arg, 0, sizeof(usbdevfs_ioctl));
  const auto& command = *reinterpret_cast<usbdevfs_ioctl*>(call->data);
  const int code = command.ioctl_code;
  const int interface = command.ifno;
  g_object_unref(call);
  if (code == static_cast<int>(USBDEVFS_DISCONNECT)) {
    if (driver_.empty()) return {-1, ENODATA};
    events_.push_back("detach " + driver_);
    driver_.clear();
    return {0, 0};
  }
  // Probes the drivers again: the one that held the interface takes it back.
  if (code == static_cast<int>(USBDEVFS_CONNECT)) {
    if (driver_.empty() && !layout_.bound_driver.empty()) {
      events_.push_back("attach " + std::to_string(interface));
      driver_ = layout_.bound_driver;
    }
    return {0, 0};
  }
  return {-1, ENOTTY};
}

std::pair<long, int> UsbTestDevice::Claim(UMockdevIoctlData* arg, bool claim) {
  UMockdevIoctlData* number = Resolve(arg, 0, sizeof(unsigned int));
  const unsigned int interface = *reinterpret_cast<unsigned int*>(number->data);
  g_object_unref(number);
  if (interface != layout_.interface_number) return {-1, EINVAL};
  // The kernel refuses an interface a driver holds.
  if (claim && !driver_.empty()) return {-1, EBUSY};
  events_.push_back((claim ? "claim " : "release ") + std::to_string(interface));
  return {0, 0};
}

std::pair<long, int> UsbTestDevice::Submit(UMockdevIoctlData* arg) {
  UMockdevIoctlData* data = Resolve(arg, 0, sizeof(usbdevfs_urb));
  const usbdevfs_urb& urb = UrbOf(data);
  bool known = false;
  for (const EndpointLayout& e : layout_.endpoints) known = known || e.address == urb.endpoint;
  if (!known || urb.type != USBDEVFS_URB_TYPE_BULK) {
    g_object_unref(data);
    return {-1, ENOENT};
  }
  // Resolved now, while the caller waits: later the device fills it.
  BufferOf(data);
  if ((urb.endpoint & 0x80) != 0) {
    posted_in_.push_back({data});
    Deliver();
  } else {
    held_out_.push_back({data});
    TakeOut(held_out_.back());
    if (held_out_.back().taken == static_cast<size_t>(urb.buffer_length)) {
      Finish(held_out_.back(), 0);
      held_out_.pop_back();
    }
  }
  return {0, 0};
}

// Takes what the budget allows of an OUT transfer; the device reacts to it.
void UsbTestDevice::TakeOut(Urb& urb) {
  const usbdevfs_urb& u = UrbOf(urb.data);
  const size_t wanted = static_cast<size_t>(u.buffer_length) - urb.taken;
  const size_t n = std::min(wanted, out_budget_);
  if (out_budget_ != SIZE_MAX) out_budget_ -= n;
  const uint8_t* bytes = BufferOf(urb.data) + urb.taken;
  const Bytes arrived(bytes, bytes + n);
  urb.taken += n;
  Bytes& log = received_[u.endpoint];
  log.insert(log.end(), arrived.begin(), arrived.end());
  if (responder_ && !arrived.empty()) {
    QueuePackets(responder_(arrived));
    Deliver();
  }
}

// Packets go into the oldest transfer posted on the first IN endpoint; a
// short packet or a full transfer ends it.
void UsbTestDevice::Deliver() {
  const uint8_t in = FirstIn();
  const size_t packet_size = PacketSize(in);
  for (auto urb = posted_in_.begin(); urb != posted_in_.end() && !packets_.empty();) {
    usbdevfs_urb& u = UrbOf(urb->data);
    if (u.endpoint != in) {
      ++urb;
      continue;
    }
    bool ended = false;
    while (!ended && !packets_.empty() &&
           urb->taken + packets_.front().size() <= static_cast<size_t>(u.buffer_length)) {
      const Bytes packet = std::move(packets_.front());
      packets_.pop_front();
      if (!packet.empty()) std::memcpy(BufferOf(urb->data) + urb->taken, packet.data(), packet.size());
      urb->taken += packet.size();
      ended = packet.size() < packet_size || urb->taken == static_cast<size_t>(u.buffer_length);
    }
    if (!ended) break;
    Finish(*urb, 0);
    urb = posted_in_.erase(urb);
  }
}

void UsbTestDevice::Finish(Urb urb, int status) {
  usbdevfs_urb& u = UrbOf(urb.data);
  u.actual_length = static_cast<int>(urb.taken);
  u.status = status;
  finished_.push_back(urb.data);
}

std::pair<long, int> UsbTestDevice::Reap(UMockdevIoctlData* arg) {
  if (finished_.empty()) return {-1, unplugged_ ? ENODEV : EAGAIN};
  UMockdevIoctlData* urb = finished_.front();
  finished_.pop_front();
  UMockdevIoctlData* pointer = Resolve(arg, 0, sizeof(void*));
  umockdev_ioctl_data_set_ptr(pointer, 0, urb);
  g_object_unref(pointer);
  g_object_unref(urb);
  return {0, 0};
}

std::pair<long, int> UsbTestDevice::Discard(UMockdevIoctlData* arg) {
  const gulong address = *reinterpret_cast<gulong*>(arg->data);
  for (auto* queue : {&posted_in_, &held_out_}) {
    for (auto urb = queue->begin(); urb != queue->end(); ++urb) {
      if (urb->data->client_addr != address) continue;
      Finish(*urb, -ENOENT);
      queue->erase(urb);
      return {0, 0};
    }
  }
  return {-1, EINVAL};
}

}  // namespace flashkit::testing
