#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/usbhw/usb_test_device.h"

namespace flashkit::testing {

// A USB device with a serial port, as the kernel and udev show it in /sys
// and udev's database: the usb_device with its texts, its interface, the
// usb-serial port (for ttyUSB) and the tty with udev's DEVLINKS. An absent
// text is an attribute the device does not have.
struct UsbSerialAdapter {
  std::string tty;  // ttyUSB0, ttyACM0
  int hub_port;     // the device is 1-<hub_port> on bus 1
  std::optional<std::string> vendor_id, product_id, manufacturer, product, serial;
  std::vector<std::string> links;  // DEVLINKS, in the order udev gives them
};

// The default namespace root, /dev, for the life of the object.
class DefaultNamespace {
 public:
  DefaultNamespace() {
    if (const char* old = std::getenv(kVariable)) previous_ = old;
    unsetenv(kVariable);
  }
  ~DefaultNamespace() {
    if (previous_) setenv(kVariable, previous_->c_str(), 1);
  }

 private:
  static constexpr char kVariable[] = "FLASHKIT_DEVROOT";
  std::optional<std::string> previous_;
};

inline constexpr char kFtdiById[] = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
inline constexpr char kFtdiByPath[] = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
inline constexpr char kFtdiSyspath[] = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";

// An FT232R adapter on hub port 2, as ttyUSB0, with no COM number.
inline UsbSerialAdapter Ftdi() {
  return {"ttyUSB0", 2, "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI",
          // udev gives by-path first; the list puts by-id first. Links outside
          // /dev/serial are not the port's stable names.
          {kFtdiByPath, "/dev/ftdi-board", kFtdiById}};
}

// Serial devices in a umockdev testbed. Each Add* returns the tty's syspath.
// Adding is silent, as when the test starts with the device plugged in;
// Plug and Unplug send the events a monitor sees.
class TtyTestbed {
 public:
  explicit TtyTestbed(UsbTestbed& testbed) : testbed_(testbed) {}

  std::string AddUsbAdapter(const UsbSerialAdapter& adapter);
  // A serial8250 port, ttyS<index>, whose `type` attribute says whether
  // the port is there (0: it is not).
  std::string AddUart(int index, int type);
  // A tty of the kernel's own: a virtual console, the console, ptmx, a pty.
  std::string AddVirtual(const std::string& name, int major, int minor);
  // Any device at all (a USB device without a serial port, say).
  std::string AddUsbDevice(int hub_port);

  // Adds the adapter and announces its devices as the kernel would.
  std::string Plug(const UsbSerialAdapter& adapter);
  // Announces the removal of the device at `syspath` and of those below it,
  // deepest first, and removes them.
  void Unplug(const std::string& syspath);
  void Announce(const std::string& syspath, const char* action);

  // A file in the testbed's /dev, which the preload shows as /dev/<name>.
  std::string DevPath(const std::string& name) const;

 private:
  void Add(const std::string& description, const std::vector<std::string>& syspaths);

  UsbTestbed& testbed_;
  std::vector<std::string> syspaths_;  // all added, parents first
};

}  // namespace flashkit::testing
