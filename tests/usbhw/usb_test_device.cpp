#include "tests/usbhw/usb_test_device.h"

#include <umockdev.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace flashkit::testing {
namespace {

// usbfs nodes live at major 189, one minor per device.
constexpr int kUsbDeviceMajor = 189;

void Add(Bytes& to, std::initializer_list<int> bytes) {
  for (int byte : bytes) to.push_back(static_cast<uint8_t>(byte));
}

// Device, configuration, interface and endpoint descriptors, as usbfs
// reads them from the node.
Bytes Descriptors(const DeviceLayout& layout) {
  Bytes all;
  Add(all, {18, 1, 0x00, 0x02, 0xFF, 0, 0, 64, 0x34, 0x12, 0x78, 0x56, 0x00, 0x01, 0, 0, 0, 1});
  const size_t total = 9 + 9 + 7 * layout.endpoints.size();
  Add(all, {9, 2, static_cast<int>(total & 0xFF), static_cast<int>(total >> 8), 1, 1, 0, 0x80, 50});
  Add(all, {9, 4, layout.interface_number, 0, static_cast<int>(layout.endpoints.size()), 0xFF, 0, 0, 0});
  for (const EndpointLayout& e : layout.endpoints) {
    Add(all, {7, 5, e.address, e.attributes, e.max_packet & 0xFF, e.max_packet >> 8,
              e.attributes == 3 ? 1 : 0});
  }
  return all;
}

std::string Hex(const Bytes& bytes) {
  std::string text;
  char digits[3];
  for (uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", byte);
    text += digits;
  }
  return text;
}

}  // namespace

UsbTestbed::UsbTestbed() : testbed_(umockdev_testbed_new()) {}

UsbTestbed::~UsbTestbed() { g_object_unref(testbed_); }

bool UsbTestbed::Preloaded() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::string(preload).find("libumockdev-preload") != std::string::npos;
}

UsbTestDevice::UsbTestDevice(UsbTestbed& testbed, DeviceLayout layout, int number)
    : testbed_(testbed), layout_(std::move(layout)), number_(number), driver_(layout_.bound_driver) {
  char name[32];
  std::snprintf(name, sizeof name, "bus/usb/001/%03d", number_);
  node_ = std::string("/dev/") + name;
  syspath_ = "/sys/devices/flashkit" + std::to_string(number_);
  handler_ = umockdev_ioctl_base_new();
  g_signal_connect(handler_, "handle-ioctl", reinterpret_cast<GCallback>(&UsbTestDevice::Handle), this);
  GError* error = nullptr;
  // The handler first, so the node never exists without its device.
  if (!umockdev_testbed_attach_ioctl(testbed_.get(), node_.c_str(), handler_, &error)) {
    throw std::runtime_error(error->message);
  }
  const Bytes descriptors = Descriptors(layout_);
  const std::string description =
      "P: /devices/flashkit" + std::to_string(number_) + "\nN: " + name + "=" + Hex(descriptors) +
      "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=" + node_ +
      "\nA: busnum=1\\n\nA: devnum=" + std::to_string(number_) + "\\n\nA: dev=" +
      std::to_string(kUsbDeviceMajor) + ":" + std::to_string(number_ - 1) +
      "\\n\nH: descriptors=" + Hex(descriptors) + "\n";
  if (!umockdev_testbed_add_from_string(testbed_.get(), description.c_str(), &error)) {
    throw std::runtime_error(error->message);
  }
}

UsbTestDevice::~UsbTestDevice() {
  umockdev_testbed_detach_ioctl(testbed_.get(), node_.c_str(), nullptr);
  g_object_unref(handler_);
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto* queue : {&posted_in_, &held_out_}) {
    for (Urb& urb : *queue) g_object_unref(urb.data);
  }
  for (UMockdevIoctlData* data : finished_) g_object_unref(data);
}

void UsbTestDevice::Send(const Bytes& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  QueuePackets(bytes);
  Deliver();
}

void UsbTestDevice::SendZeroLengthPacket() {
  std::lock_guard<std::mutex> lock(mutex_);
  packets_.emplace_back();
  Deliver();
}

void UsbTestDevice::Respond(Responder responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_ = std::move(responder);
}

void UsbTestDevice::TakeAtMost(size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  out_budget_ = bytes;
}

void UsbTestDevice::Unplug(int urb_status) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    unplugged_ = true;
    for (auto* queue : {&posted_in_, &held_out_}) {
      while (!queue->empty()) {
        Finish(queue->front(), urb_status);
        queue->pop_front();
      }
    }
  }
  umockdev_testbed_remove_device(testbed_.get(), syspath_.c_str());
}

Bytes UsbTestDevice::Received(uint8_t endpoint) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = received_.find(endpoint);
  return found == received_.end() ? Bytes{} : found->second;
}

std::vector<std::string> UsbTestDevice::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

size_t UsbTestDevice::PostedIn() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return posted_in_.size();
}

void UsbTestDevice::QueuePackets(const Bytes& bytes) {
  const size_t size = PacketSize(FirstIn());
  for (size_t at = 0; at < bytes.size(); at += size) {
    packets_.emplace_back(bytes.begin() + static_cast<long>(at),
                          bytes.begin() + static_cast<long>(std::min(bytes.size(), at + size)));
  }
}

uint8_t UsbTestDevice::FirstIn() const {
  for (const EndpointLayout& e : layout_.endpoints) {
    if ((e.address & 0x80) != 0 && e.attributes == 2) return e.address;
  }
  return 0;
}

uint16_t UsbTestDevice::PacketSize(uint8_t endpoint) const {
  for (const EndpointLayout& e : layout_.endpoints) {
    if (e.address == endpoint) return e.max_packet;
  }
  return 64;
}

}  // namespace flashkit::testing
