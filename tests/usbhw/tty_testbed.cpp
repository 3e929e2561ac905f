#include "tests/usbhw/tty_testbed.h"

#include <umockdev.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace flashkit::testing {
namespace {

constexpr char kUsbBus[] = "/devices/pci0000:00/0000:00:14.0/usb1";
constexpr int kTtyUsbMajor = 188;
constexpr int kTtyAcmMajor = 166;
constexpr int kTtySMajor = 4;
constexpr int kTtySFirstMinor = 64;

// An attribute as the kernel gives it, a line of any bytes, in umockdev's
// hex form.
std::string Attribute(const std::string& name, const std::string& value) {
  std::string hex;
  char digits[3];
  for (unsigned char byte : value + "\n") {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    hex += digits;
  }
  return "H: " + name + "=" + hex + "\n";
}

// The number at the end of a tty's name: 3 for ttyUSB3.
int Index(const std::string& tty) {
  const size_t digits = tty.find_first_of("0123456789");
  return digits == std::string::npos ? 0 : std::stoi(tty.substr(digits));
}

// A tty device's lines: its node, udev's links to it and its numbers.
std::string TtyLines(const std::string& name, int major, int minor,
                     const std::vector<std::string>& links = {}) {
  std::string lines = "N: " + name + "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + name +
                      "\nE: MAJOR=" + std::to_string(major) + "\nE: MINOR=" + std::to_string(minor) +
                      "\nA: dev=" + std::to_string(major) + ":" + std::to_string(minor) + "\\n\n";
  std::string devlinks;
  for (const std::string& link : links) {
    lines += "S: " + link.substr(std::string("/dev/").size()) + "\n";
    devlinks += (devlinks.empty() ? "" : " ") + link;
  }
  if (!devlinks.empty()) lines += "E: DEVLINKS=" + devlinks + "\n";
  return lines;
}

}  // namespace

std::string TtyTestbed::AddUsbDevice(int hub_port) {
  const std::string device = std::string(kUsbBus) + "/1-" + std::to_string(hub_port);
  Add("P: " + device + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n", {"/sys" + device});
  return "/sys" + device;
}

std::string TtyTestbed::AddUsbAdapter(const UsbSerialAdapter& adapter) {
  const std::string port = std::to_string(adapter.hub_port);
  const std::string device = std::string(kUsbBus) + "/1-" + port;
  const std::string interface = device + "/1-" + port + ":1.0";
  const bool acm = adapter.tty.starts_with("ttyACM");
  const std::string driver = acm ? "cdc_acm" : "ftdi_sio";
  std::string description = "P: " + device + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n";
  const std::pair<const char*, const std::optional<std::string>*> texts[] = {
      {"idVendor", &adapter.vendor_id},       {"idProduct", &adapter.product_id},
      {"manufacturer", &adapter.manufacturer}, {"product", &adapter.product},
      {"serial", &adapter.serial}};
  for (const auto& [name, value] : texts) {
    if (*value) description += Attribute(name, **value);
  }
  description += "\nP: " + interface + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=" +
                 driver + "\n";
  std::vector<std::string> syspaths = {device, interface};
  std::string tty;
  if (acm) {
    tty = interface + "/tty/" + adapter.tty;
  } else {
    const std::string serial_port = interface + "/" + adapter.tty;
    description += "\nP: " + serial_port + "\nE: SUBSYSTEM=usb-serial\nE: DRIVER=" + driver + "\n";
    syspaths.push_back(serial_port);
    tty = serial_port + "/tty/" + adapter.tty;
  }
  description += "\nP: " + tty + "\n" +
                 TtyLines(adapter.tty, acm ? kTtyAcmMajor : kTtyUsbMajor, Index(adapter.tty), adapter.links);
  syspaths.push_back(tty);
  for (std::string& syspath : syspaths) syspath = "/sys" + syspath;
  Add(description, syspaths);
  return syspaths.back();
}

std::string TtyTestbed::AddUart(int index, int type) {
  const std::string name = "ttyS" + std::to_string(index);
  // A port the firmware describes hangs below its PNP device; the driver's
  // phantom ports below the serial8250 platform device.
  const std::string parent = type != 0 ? "/devices/pnp0/00:0" + std::to_string(index)
                                       : std::string("/devices/platform/serial8250");
  const std::string tty = parent + "/tty/" + name;
  Add("P: " + parent + "\nE: SUBSYSTEM=" + (type != 0 ? "pnp" : "platform") + "\n\nP: " + tty + "\n" +
          TtyLines(name, kTtySMajor, kTtySFirstMinor + index) + Attribute("type", std::to_string(type)),
      {"/sys" + tty});
  return "/sys" + tty;
}

std::string TtyTestbed::AddVirtual(const std::string& name, int major, int minor) {
  const std::string tty = "/devices/virtual/tty/" + name;
  Add("P: " + tty + "\n" + TtyLines(name, major, minor), {"/sys" + tty});
  return "/sys" + tty;
}

std::string TtyTestbed::Plug(const UsbSerialAdapter& adapter) {
  const size_t before = syspaths_.size();
  const std::string tty = AddUsbAdapter(adapter);
  for (size_t i = before; i < syspaths_.size(); ++i) Announce(syspaths_[i], "add");
  return tty;
}

void TtyTestbed::Unplug(const std::string& syspath) {
  std::vector<std::string> gone;
  std::erase_if(syspaths_, [&](const std::string& path) {
    const bool below = path == syspath || path.starts_with(syspath + "/");
    if (below) gone.push_back(path);
    return below;
  });
  std::sort(gone.begin(), gone.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& path : gone) {
    Announce(path, "remove");
    umockdev_testbed_remove_device(testbed_.get(), path.c_str());
  }
}

void TtyTestbed::Announce(const std::string& syspath, const char* action) {
  umockdev_testbed_uevent(testbed_.get(), syspath.c_str(), action);
}

std::string TtyTestbed::DevPath(const std::string& name) const {
  gchar* root = umockdev_testbed_get_root_dir(testbed_.get());
  std::string path = std::string(root) + "/dev/" + name;
  g_free(root);
  return path;
}

void TtyTestbed::Add(const std::string& description, const std::vector<std::string>& syspaths) {
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(testbed_.get(), description.c_str(), &error)) {
    const std::string message = error->message;
    g_error_free(error);
    throw std::runtime_error(message + " in\n" + description);
  }
  syspaths_.insert(syspaths_.end(), syspaths.begin(), syspaths.end());
}

}  // namespace flashkit::testing
