#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/fake_port.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace flashkit::testing {

// umockdev's sandbox: /sys and /dev/bus/usb as this process sees them while
// it lives. Needs the preload library (ctest sets LD_PRELOAD).
class UsbTestbed {
 public:
  UsbTestbed();
  ~UsbTestbed();
  UsbTestbed(const UsbTestbed&) = delete;
  UsbTestbed& operator=(const UsbTestbed&) = delete;

  // Whether this process runs under umockdev's preload library.
  static bool Preloaded();
  UMockdevTestbed* get() const { return testbed_; }

 private:
  UMockdevTestbed* testbed_;
};

struct EndpointLayout {
  uint8_t address;
  uint8_t attributes = 2;  // 2 bulk, 3 interrupt
  uint16_t max_packet = 64;
};

struct DeviceLayout {
  std::vector<EndpointLayout> endpoints = {{0x83}, {0x02}};
  uint8_t interface_number = 0;
  std::string bound_driver = {};  // a kernel driver holding the interface, "" for none
};

// A USB device at /dev/bus/usb/001/<number> in the testbed. The test is the
// device: it answers libusb's usbfs ioctls on umockdev's handler thread as
// the kernel and the device together would. IN transfers get the bytes the
// test sends, in packets of the endpoint's size (a full packet does not end
// a larger transfer); OUT transfers land in Received().
class UsbTestDevice {
 public:
  // The device's answer to bytes that came on an OUT endpoint: what it sends
  // back on the first IN endpoint. Runs on the handler thread.
  using Responder = std::function<Bytes(const Bytes& arrived)>;

  UsbTestDevice(UsbTestbed& testbed, DeviceLayout layout, int number = 1);
  ~UsbTestDevice();
  UsbTestDevice(const UsbTestDevice&) = delete;
  UsbTestDevice& operator=(const UsbTestDevice&) = delete;

  const std::string& node() const { return node_; }

  // Queues bytes for the first IN endpoint, cut into packets.
  void Send(const Bytes& bytes);
  void SendZeroLengthPacket();
  void Respond(Responder responder);
  // From now on the device takes only `bytes` more on its OUT endpoints and
  // then holds the rest of a transfer (NAKs) until it is cancelled.
  void TakeAtMost(size_t bytes);
  // Pulled out: transfers in flight end with `urb_status`, every later call
  // on the node fails with ENODEV, and the node leaves /dev.
  void Unplug(int urb_status);

  // Bytes the host wrote, by endpoint.
  Bytes Received(uint8_t endpoint) const;
  // "claim 0", "detach cdc_acm", "release 0", "attach 0", in order.
  std::vector<std::string> Events() const;
  // Transfers the host has posted on an IN endpoint and not yet got back.
  size_t PostedIn() const;

 private:
  struct Urb {
    UMockdevIoctlData* data;  // the usbdevfs_urb, its buffer resolved
    size_t taken = 0;         // bytes moved so far
  };

  static int Handle(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
  // One ioctl: the result and errno the caller gets.
  std::pair<long, int> Answer(unsigned long request, UMockdevIoctlData* arg);
  std::pair<long, int> Submit(UMockdevIoctlData* arg);
  std::pair<long, int> Reap(UMockdevIoctlData* arg);
  std::pair<long, int> Discard(UMockdevIoctlData* arg);
  std::pair<long, int> Control(UMockdevIoctlData* arg);
  std::pair<long, int> DriverCall(UMockdevIoctlData* arg);
  std::pair<long, int> Claim(UMockdevIoctlData* arg, bool claim);
  void TakeOut(Urb& urb);
  void Deliver();
  void Finish(Urb urb, int status);
  void QueuePackets(const Bytes& bytes);
  uint8_t FirstIn() const;
  uint16_t PacketSize(uint8_t endpoint) const;

  UsbTestbed& testbed_;
  DeviceLayout layout_;
  int number_;
  std::string node_;
  std::string syspath_;
  UMockdevIoctlBase* handler_;

  mutable std::mutex mutex_;
  std::deque<Bytes> packets_;
  std::deque<Urb> posted_in_;
  std::deque<Urb> held_out_;
  std::deque<UMockdevIoctlData*> finished_;
  std::map<uint8_t, Bytes> received_;
  std::vector<std::string> events_;
  Responder responder_;
  size_t out_budget_ = SIZE_MAX;
  bool unplugged_ = false;
  std::string driver_;
};

}  // namespace flashkit::testing
