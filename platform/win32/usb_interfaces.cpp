// USB device interfaces of a class, through the SetupAPI.
#include <cstdio>
#include <vector>

#include "platform/win32/usb_devices.h"

namespace flashkit::platform {

std::optional<GUID> ParseGuid(const std::string& text) {
  GUID guid{};
  unsigned long data1 = 0;
  unsigned data2 = 0, data3 = 0;
  unsigned bytes[8] = {};
  int end = 0;
  const int fields = std::sscanf(text.c_str(), "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &data1, &data2,
                                 &data3, &bytes[0], &bytes[1], &bytes[2], &bytes[3], &bytes[4], &bytes[5],
                                 &bytes[6], &bytes[7], &end);
  if (fields != 11 || static_cast<size_t>(end) != text.size()) return std::nullopt;
  guid.Data1 = data1;
  guid.Data2 = static_cast<unsigned short>(data2);
  guid.Data3 = static_cast<unsigned short>(data3);
  for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<unsigned char>(bytes[i]);
  return guid;
}

namespace {

// The first call asks for the size; the record's fixed part is the
// platform's (8 bytes on 64-bit Windows).
std::optional<std::string> InterfacePath(UsbCalls& calls, HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data) {
  DWORD needed = 0;
  calls.InterfaceDetail(set, &data, nullptr, 0, &needed);
  if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return std::nullopt;
  std::vector<char> block(needed + 1, '\0');
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (!calls.InterfaceDetail(set, &data, detail, needed, nullptr)) return std::nullopt;
  return std::string(detail->DevicePath);
}

}  // namespace

// The enumeration ends at the first index that fails, as the count of
// present interfaces always has.
std::optional<std::vector<std::string>> ListDeviceInterfaces(UsbCalls& calls, const std::string& class_guid) {
  const std::optional<GUID> guid = ParseGuid(class_guid);
  if (!guid) return std::nullopt;
  HDEVINFO set = calls.ClassDevices(*guid);
  if (set == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::string> paths;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!calls.EnumInterface(set, *guid, index, &data)) break;
    if (std::optional<std::string> path = InterfacePath(calls, set, data)) paths.push_back(std::move(*path));
  }
  calls.DestroyList(set);
  return paths;
}

}  // namespace flashkit::platform
