#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace flashkit::platform {

enum class SerialPortKind {
  kUsbSerial,  // a USB serial adapter (ttyUSB: FTDI, CP210x, CH340, PL2303...)
  kUsbAcm,     // a USB CDC ACM device (ttyACM: boards with a USB port of their own)
  kUart,       // a built-in serial port that is really there
  kSimulated,  // a comN entry of a namespace root other than /dev
};

// One serial port present on the machine, as the system names it.
struct SerialPortInfo {
  SerialPortKind kind = SerialPortKind::kUart;
  std::string path;                // the device node: /dev/ttyUSB0, or <root>/comN
  std::string name;                // the kernel's name: ttyUSB0 (comN for a simulated port)
  std::vector<std::string> links;  // stable names: /dev/serial/by-id/..., by-path/...
  std::optional<unsigned> com;     // the COM number that opens it, if any
  // USB adapters only; empty where the device does not say. Texts as the
  // device reports them, which need not be UTF-8.
  std::string vendor_id;  // four hex digits, "0403"
  std::string product_id;
  std::string manufacturer;
  std::string product;
  std::string serial;

  // The name that survives a replug: the first by-id link, else the node.
  const std::string& StablePath() const;
};

// The serial ports present now, in order of their paths (runs of digits by
// value: ttyUSB2 before ttyUSB10). Never blocks on a device: nothing is
// opened, only udev's database, sysfs and the namespace root are read.
// Device texts are kept to 256 bytes each.
std::vector<SerialPortInfo> ListSerialPorts();

// A short text a person recognises the port by, at most `max_chars`
// characters: "ttyUSB0 — FT232R USB UART (A50285BI)". Always valid UTF-8:
// bytes that are not, and control characters, show as '?'; a cut label ends
// with "…".
std::string PortLabel(const SerialPortInfo& port, size_t max_chars = 80);

// Tells when serial ports come and go. Its descriptor joins the caller's
// event loop; nothing here blocks.
class SerialPortMonitor {
 public:
  virtual ~SerialPortMonitor() = default;
  // Readable when something may have changed.
  virtual int Fd() const = 0;
  // Takes all that has arrived, without waiting; true when a port of a kind
  // ListSerialPorts lists was added or removed.
  virtual bool TakeChanges() = 0;
};

// Null when the system's device events cannot be had (no udev).
std::unique_ptr<SerialPortMonitor> OpenSerialPortMonitor();

}  // namespace flashkit::platform
