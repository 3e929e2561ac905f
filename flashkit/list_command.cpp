#include "flashkit/list_command.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "common/json_fields.h"
#include "platform/serial_ports.h"
#include "platform/usb_pipe_path.h"

namespace flashkit::rack {
namespace {

const char* KindName(platform::SerialPortKind kind) {
  switch (kind) {
    case platform::SerialPortKind::kUsbSerial: return "usb-serial";
    case platform::SerialPortKind::kUsbAcm: return "usb-acm";
    case platform::SerialPortKind::kUart: return "uart";
    case platform::SerialPortKind::kSimulated: return "simulated";
  }
  return "";
}

struct UsbEntry {
  std::string name;
  std::string path;
  std::string node;  // the usbfs node a udev link points at; empty for others
};

std::vector<UsbEntry> UsbEntries(platform::DeviceSystem& system) {
  std::vector<UsbEntry> entries;
  const auto interfaces = system.ListInterfaces(platform::kBulkInterfaceClass);
  if (!interfaces) return entries;
  for (const std::string& path : *interfaces) {
    UsbEntry entry{std::filesystem::path(path).filename().string(), path, ""};
    std::error_code error;
    if (std::filesystem::is_symlink(path, error)) {
      const std::filesystem::path canonical = std::filesystem::canonical(path, error);
      if (!error) entry.node = canonical.string();
    }
    entries.push_back(entry);
  }
  return entries;
}

std::string JsonList(const std::vector<std::string>& items) {
  std::string json = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) json += ',';
    json += JsonString(items[i]);
  }
  return json + "]";
}

}  // namespace

void ListBoards(std::FILE* out, platform::DeviceSystem& system, bool json) {
  const std::vector<platform::SerialPortInfo> ports = platform::ListSerialPorts();
  const std::vector<UsbEntry> usb = UsbEntries(system);
  if (json) {
    std::string text = "{\"serial\":[";
    for (size_t i = 0; i < ports.size(); ++i) {
      const platform::SerialPortInfo& p = ports[i];
      JsonFields fields;
      fields.Str("kind", KindName(p.kind)).Str("path", p.path).Str("name", p.name);
      fields.Raw("links", JsonList(p.links));
      if (p.com) {
        fields.Int("com", *p.com);
      } else {
        fields.Raw("com", "null");
      }
      fields.Str("vendor_id", p.vendor_id)
          .Str("product_id", p.product_id)
          .Str("manufacturer", p.manufacturer)
          .Str("product", p.product)
          .Str("serial", p.serial)
          .Str("label", platform::PortLabel(p));
      text += i > 0 ? ",\n" : "\n";
      text += fields.Object();
    }
    text += "],\n\"usb\":[";
    for (size_t i = 0; i < usb.size(); ++i) {
      JsonFields fields;
      fields.Str("name", usb[i].name).Str("path", usb[i].path).Str("node", usb[i].node);
      text += i > 0 ? ",\n" : "\n";
      text += fields.Object();
    }
    text += "]}\n";
    std::fputs(text.c_str(), out);
    return;
  }
  std::fprintf(out, "Serial ports (-p):\n");
  if (ports.empty()) std::fprintf(out, "  none\n");
  int width = 12;
  for (const platform::SerialPortInfo& p : ports) width = std::max(width, static_cast<int>(p.path.size()));
  for (const platform::SerialPortInfo& p : ports) {
    const std::string com = p.com ? "COM" + std::to_string(*p.com) : "-";
    std::string ids = p.vendor_id.empty() ? "" : p.vendor_id + ":" + p.product_id;
    std::fprintf(out, "  %-*s  %-6s %-10s %-9s %s\n", width, p.path.c_str(), com.c_str(),
                 KindName(p.kind), ids.c_str(), platform::PortLabel(p).c_str());
    for (const std::string& link : p.links) std::fprintf(out, "      %s\n", link.c_str());
  }
  std::fprintf(out, "USB boards (-d):\n");
  if (usb.empty()) std::fprintf(out, "  none\n");
  for (const UsbEntry& entry : usb) {
    std::fprintf(out, "  %-16s %s%s%s\n", entry.name.c_str(), entry.path.c_str(),
                 entry.node.empty() ? "" : " -> ", entry.node.c_str());
  }
}

}  // namespace flashkit::rack
