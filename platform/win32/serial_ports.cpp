// The COM ports present, from the DOS device names the system keeps for
// them (QueryDosDevice): every port a driver has published, whatever its
// driver, with no SetupAPI class walk.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/device_namespace.h"
#include "platform/serial_ports.h"
#include "platform/win32/windows_api.h"

namespace flashkit::platform {
namespace {

constexpr size_t kMaxComDigits = 9;
constexpr DWORD kFirstListSize = 64 * 1024;
constexpr DWORD kLargestListSize = 4 * 1024 * 1024;

// What the device object a COM name points at says of the port's kind.
struct TargetRow {
  const char* prefix;  // of the target, as QueryDosDevice reports it
  SerialPortKind kind;
};

constexpr TargetRow kTargets[] = {
    {"\\Device\\Serial", SerialPortKind::kUart},
    {"\\Device\\USBSER", SerialPortKind::kUsbAcm},
};

SerialPortKind KindOf(const std::string& target) {
  for (const TargetRow& row : kTargets) {
    if (target.starts_with(row.prefix)) return row.kind;
  }
  // FTDI's VCP, Silabser, ProlificSerial, CH341SER and the like; under Wine,
  // a link to a Unix terminal.
  return SerialPortKind::kUsbSerial;
}

// Every DOS device name, NUL-separated; the list grows while it does not fit.
std::vector<char> DosDeviceNames() {
  for (DWORD size = kFirstListSize; size <= kLargestListSize; size *= 2) {
    std::vector<char> names(size);
    const DWORD used = ::QueryDosDeviceA(nullptr, names.data(), size);
    if (used != 0) {
      names.resize(used);
      return names;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
  }
  return {};
}

std::optional<unsigned> ComNumber(const std::string& name) {
  const std::optional<std::string> digits = ComDigits(name);
  if (!digits || digits->empty() || digits->size() > kMaxComDigits || digits->front() == '0') {
    return std::nullopt;
  }
  return static_cast<unsigned>(std::stoul(*digits));
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
  std::vector<SerialPortInfo> ports;
  const std::vector<char> names = DosDeviceNames();
  for (size_t at = 0; at < names.size() && names[at] != '\0';) {
    const std::string name(&names[at]);
    at += name.size() + 1;
    const std::optional<unsigned> com = ComNumber(name);
    if (!com) continue;
    char target[1024] = {};
    if (::QueryDosDeviceA(name.c_str(), target, sizeof target) == 0) continue;
    SerialPortInfo port;
    port.kind = KindOf(target);
    port.path = ComPath(*com);
    port.name = "COM" + std::to_string(*com);
    port.com = com;
    ports.push_back(std::move(port));
  }
  std::sort(ports.begin(), ports.end(),
            [](const SerialPortInfo& a, const SerialPortInfo& b) { return *a.com < *b.com; });
  return ports;
}

// Windows tells windows of new ports (WM_DEVICECHANGE); a console program
// has none to be told, and lists again when asked.
std::unique_ptr<SerialPortMonitor> OpenSerialPortMonitor() { return nullptr; }

}  // namespace flashkit::platform
