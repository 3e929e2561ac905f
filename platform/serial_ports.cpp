#include "platform/serial_ports.h"

#include <dirent.h>
#include <libudev.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string_view>
#include <utility>

#include "platform/device_namespace.h"
#include "platform/usb_node_link.h"
#include "platform/utf8_text.h"

namespace flashkit::platform {
namespace {

constexpr std::string_view kComWord = "com";
constexpr std::string_view kByIdPrefix = "/dev/serial/by-id/";
constexpr std::string_view kByPathPrefix = "/dev/serial/by-path/";
// A device's texts are kept as it gives them, but no longer than this.
constexpr size_t kMaxAttributeBytes = 256;
// COM numbers with more digits than this are nobody's port (and would not
// fit an unsigned).
constexpr size_t kMaxComDigits = 9;
// Bounds one TakeChanges: errors other than "nothing more" in a row.
constexpr int kMaxReceiveErrors = 16;

struct UdevUnref {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
  void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevUnref>;

std::string Text(const char* value) { return value == nullptr ? std::string() : std::string(value); }

// At most kMaxAttributeBytes of `value`, cut before a UTF-8 sequence that
// the limit would split. The bytes need not be UTF-8: where they are not,
// the cut falls at the limit.
std::string Bounded(const char* value) {
  std::string text = Text(value);
  size_t cut = 0;
  while (cut < text.size()) {
    uint32_t ignored = 0;
    const size_t length = DecodeUtf8(std::string_view(text).substr(cut), ignored);
    const size_t step = length == 0 ? 1 : length;
    if (cut + step > kMaxAttributeBytes) break;
    cut += step;
  }
  text.resize(cut);
  return text;
}

bool StartsWith(const char* text, std::string_view prefix) {
  return text != nullptr && std::string_view(text).starts_with(prefix);
}

// The number in a canonical COM name's digits ("7", not "07" or "0"), which
// "COM<number>" opens.
std::optional<unsigned> ComNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > kMaxComDigits || digits.front() == '0') return std::nullopt;
  unsigned number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return number;
}

struct NodeId {
  dev_t device;
  ino_t inode;
  auto operator<=>(const NodeId&) const = default;
};

// What `path` leads to, following links (through umockdev's preload too, as
// every open would).
std::optional<NodeId> IdOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return NodeId{status.st_dev, status.st_ino};
}

// The comN entries of the namespace root, each with where it leads.
struct ComEntry {
  unsigned number;
  std::string path;    // <root>/comN
  std::string target;  // what its link names, or the entry itself
  std::optional<NodeId> id;
  bool character_device = false;
  bool claimed = false;  // a listed udev port answers to it
};

std::vector<ComEntry> ComEntries(const std::string& root) {
  std::vector<ComEntry> entries;
  DIR* folder = ::opendir(root.c_str());
  if (folder == nullptr) return entries;
  while (const dirent* item = ::readdir(folder)) {
    const std::string_view name = item->d_name;
    if (!name.starts_with(kComWord)) continue;
    const std::optional<unsigned> number = ComNumber(name.substr(kComWord.size()));
    if (!number) continue;
    ComEntry entry{*number, root + "/" + std::string(name), {}, {}};
    entry.target = EntryTarget(entry.path);
    struct stat status {};
    if (::stat(entry.target.c_str(), &status) == 0) {
      entry.id = NodeId{status.st_dev, status.st_ino};
      entry.character_device = S_ISCHR(status.st_mode);
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(folder);
  std::sort(entries.begin(), entries.end(),
            [](const ComEntry& a, const ComEntry& b) { return a.number < b.number; });
  return entries;
}

// The COM number that opens the node at `path`: the lowest comN entry of the
// root leading to it, or for a built-in port under /dev the ttyS fallback
// that ResolveComName takes.
std::optional<unsigned> ComNumberOf(const SerialPortInfo& port, const std::string& root,
                                    std::vector<ComEntry>& entries) {
  const std::optional<NodeId> id = IdOf(port.path);
  for (ComEntry& entry : entries) {
    if (entry.target == port.path || (id && entry.id == id)) {
      entry.claimed = true;
      return entry.number;
    }
  }
  if (root != kDefaultNamespaceRoot || !port.name.starts_with("ttyS")) return std::nullopt;
  const std::optional<unsigned> index = [&]() -> std::optional<unsigned> {
    const std::string_view digits = std::string_view(port.name).substr(4);
    if (digits == "0") return 0;
    return ComNumber(digits);
  }();
  if (!index) return std::nullopt;
  const std::string digits = std::to_string(*index + 1);
  struct stat status {};
  const bool com_node_exists = ::lstat((root + "/com" + digits).c_str(), &status) == 0;
  if (ComNodePath(root, digits, com_node_exists) != port.path) return std::nullopt;
  return *index + 1;
}

// The kind of port a tty is, when it is one that is listed. `device` may be
// one a monitor reported gone, whose sysfs folder is no more: then only its
// name and what the event carried say what it was.
std::optional<SerialPortKind> KindOf(udev_device* device, bool removed) {
  const char* name = udev_device_get_sysname(device);
  if (StartsWith(name, "ttyACM")) return SerialPortKind::kUsbAcm;
  if (StartsWith(name, "ttyUSB")) return SerialPortKind::kUsbSerial;
  if (!removed) {
    udev_device* parent = udev_device_get_parent(device);
    if (parent != nullptr && StartsWith(udev_device_get_subsystem(parent), "usb-serial")) {
      return SerialPortKind::kUsbSerial;
    }
  }
  if (StartsWith(name, "ttyS")) {
    // A built-in port's driver makes ttyS nodes for ports the machine may
    // not have; those say type 0 (PORT_UNKNOWN). A gone one may have been real.
    if (removed) return SerialPortKind::kUart;
    const std::string type = Text(udev_device_get_sysattr_value(device, "type"));
    if (!type.empty() && type != "0") return SerialPortKind::kUart;
  }
  return std::nullopt;
}

// The udev links of `device` under /dev/serial, by-id ones first. libudev
// has them as DEVLINKS in its database; its list of links is read too, in
// case a version gives only one of the two.
std::vector<std::string> SerialLinks(udev_device* device) {
  std::vector<std::string> all;
  const std::string property = Text(udev_device_get_property_value(device, "DEVLINKS"));
  for (size_t at = 0; at < property.size();) {
    const size_t end = std::min(property.find(' ', at), property.size());
    if (end > at) all.push_back(property.substr(at, end - at));
    at = end + 1;
  }
  for (udev_list_entry* entry = udev_device_get_devlinks_list_entry(device); entry != nullptr;
       entry = udev_list_entry_get_next(entry)) {
    all.push_back(Text(udev_list_entry_get_name(entry)));
  }
  std::vector<std::string> links;
  for (std::string_view prefix : {kByIdPrefix, kByPathPrefix}) {
    std::vector<std::string> these;
    for (const std::string& link : all) {
      if (link.starts_with(prefix) && std::find(these.begin(), these.end(), link) == these.end()) {
        these.push_back(link);
      }
    }
    std::sort(these.begin(), these.end());
    links.insert(links.end(), these.begin(), these.end());
  }
  return links;
}

std::optional<SerialPortInfo> PortOf(udev_device* device) {
  const std::optional<SerialPortKind> kind = KindOf(device, false);
  const char* node = udev_device_get_devnode(device);
  if (!kind || node == nullptr) return std::nullopt;
  SerialPortInfo port;
  port.kind = *kind;
  port.path = node;
  port.name = Text(udev_device_get_sysname(device));
  port.links = SerialLinks(device);
  if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device")) {
    port.vendor_id = Bounded(udev_device_get_sysattr_value(usb, "idVendor"));
    port.product_id = Bounded(udev_device_get_sysattr_value(usb, "idProduct"));
    port.manufacturer = Bounded(udev_device_get_sysattr_value(usb, "manufacturer"));
    port.product = Bounded(udev_device_get_sysattr_value(usb, "product"));
    port.serial = Bounded(udev_device_get_sysattr_value(usb, "serial"));
  }
  return port;
}

std::vector<SerialPortInfo> UdevPorts() {
  std::vector<SerialPortInfo> ports;
  UdevPtr<udev> context(udev_new());
  if (!context) return ports;
  UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
  if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
      udev_enumerate_scan_devices(enumerate.get()) < 0) {
    return ports;
  }
  for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate.get()); entry != nullptr;
       entry = udev_list_entry_get_next(entry)) {
    // A device gone between the scan and here is simply not listed.
    UdevPtr<udev_device> device(
        udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    if (!device) continue;
    if (std::optional<SerialPortInfo> port = PortOf(device.get())) ports.push_back(std::move(*port));
  }
  return ports;
}

// Paths in the order a person counts them: runs of digits by their value,
// so ttyUSB2 comes before ttyUSB10.
bool PathBefore(const std::string& a, const std::string& b) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      size_t i_end = i;
      size_t j_end = j;
      while (i_end < a.size() && digit(a[i_end])) ++i_end;
      while (j_end < b.size() && digit(b[j_end])) ++j_end;
      // Leading zeros aside, a longer run is a larger number.
      size_t i_start = i;
      size_t j_start = j;
      while (i_start + 1 < i_end && a[i_start] == '0') ++i_start;
      while (j_start + 1 < j_end && b[j_start] == '0') ++j_start;
      const std::string_view x(a.data() + i_start, i_end - i_start);
      const std::string_view y(b.data() + j_start, j_end - j_start);
      if (x.size() != y.size()) return x.size() < y.size();
      if (x != y) return x < y;
      i = i_end;
      j = j_end;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
  return a < b;  // equal but for leading zeros
}

class UdevSerialPortMonitor : public SerialPortMonitor {
 public:
  UdevSerialPortMonitor(UdevPtr<udev> context, UdevPtr<udev_monitor> monitor)
      : context_(std::move(context)), monitor_(std::move(monitor)) {}

  int Fd() const override { return udev_monitor_get_fd(monitor_.get()); }

  bool TakeChanges() override {
    bool changed = false;
    for (int errors = 0; errors < kMaxReceiveErrors;) {
      errno = 0;
      UdevPtr<udev_device> device(udev_monitor_receive_device(monitor_.get()));
      if (!device) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == 0) break;
        // Events lost to a full socket may have been anything.
        if (errno == ENOBUFS) changed = true;
        ++errors;
        continue;
      }
      errors = 0;
      const std::string action = Text(udev_device_get_action(device.get()));
      const bool removed = action == "remove";
      if ((removed || action == "add") && KindOf(device.get(), removed)) changed = true;
    }
    return changed;
  }

 private:
  UdevPtr<udev> context_;
  UdevPtr<udev_monitor> monitor_;
};

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
  std::vector<SerialPortInfo> ports = UdevPorts();
  const std::string root = NamespaceRoot();
  std::vector<ComEntry> entries = ComEntries(root);
  for (SerialPortInfo& port : ports) port.com = ComNumberOf(port, root, entries);
  // A simulator's ports live in a root of their own; under /dev a comN
  // entry is only another name for a port udev lists.
  if (root != kDefaultNamespaceRoot) {
    for (const ComEntry& entry : entries) {
      if (entry.claimed || !entry.character_device) continue;
      SerialPortInfo port;
      port.kind = SerialPortKind::kSimulated;
      port.path = entry.path;
      port.name = "com" + std::to_string(entry.number);
      port.com = entry.number;
      ports.push_back(std::move(port));
    }
  }
  std::sort(ports.begin(), ports.end(),
            [](const SerialPortInfo& a, const SerialPortInfo& b) { return PathBefore(a.path, b.path); });
  return ports;
}

std::unique_ptr<SerialPortMonitor> OpenSerialPortMonitor() {
  UdevPtr<udev> context(udev_new());
  if (!context) return nullptr;
  // Events udev has finished with, so a port's links are in place when it
  // is listed again.
  UdevPtr<udev_monitor> monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
  if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "tty", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor.get()) < 0 || udev_monitor_get_fd(monitor.get()) < 0) {
    return nullptr;
  }
  return std::make_unique<UdevSerialPortMonitor>(std::move(context), std::move(monitor));
}

}  // namespace flashkit::platform
