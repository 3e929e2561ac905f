#include "platform/win32/usb_calls.h"

namespace flashkit::platform {
namespace {

class SystemUsbCalls : public UsbCalls {
 public:
  HDEVINFO ClassDevices(const GUID& interface_class) override {
    return ::SetupDiGetClassDevsA(&interface_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  }
  BOOL EnumInterface(HDEVINFO set, const GUID& interface_class, DWORD index,
                     SP_DEVICE_INTERFACE_DATA* data) override {
    return ::SetupDiEnumDeviceInterfaces(set, nullptr, &interface_class, index, data);
  }
  BOOL InterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail,
                       DWORD size, DWORD* needed) override {
    return ::SetupDiGetDeviceInterfaceDetailA(set, data, detail, size, needed, nullptr);
  }
  BOOL DestroyList(HDEVINFO set) override { return ::SetupDiDestroyDeviceInfoList(set); }
  HANDLE Open(const std::string& path, DWORD flags) override {
    return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, flags, nullptr);
  }
  BOOL Read(HANDLE file, void* data, DWORD len, OVERLAPPED* overlapped) override {
    return ::ReadFile(file, data, len, nullptr, overlapped);
  }
  BOOL Write(HANDLE file, const void* data, DWORD len, OVERLAPPED* overlapped) override {
    return ::WriteFile(file, data, len, nullptr, overlapped);
  }
  BOOL Result(HANDLE file, OVERLAPPED* overlapped, DWORD* moved, BOOL wait) override {
    return ::GetOverlappedResult(file, overlapped, moved, wait);
  }
  BOOL Cancel(HANDLE file, OVERLAPPED* overlapped) override { return ::CancelIoEx(file, overlapped); }
  DWORD Wait(HANDLE object, DWORD ms) override { return ::WaitForSingleObject(object, ms); }
  BOOL Close(HANDLE object) override { return ::CloseHandle(object); }
  DWORD LastError() override { return ::GetLastError(); }
};

}  // namespace

UsbCalls& RealUsbCalls() {
  static SystemUsbCalls calls;
  return calls;
}

}  // namespace flashkit::platform
