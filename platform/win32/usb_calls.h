#pragma once

#include <string>

#include "platform/win32/windows_api.h"
// After windows.h, which it needs.
#include <setupapi.h>

namespace flashkit::platform {

// The system calls the USB bulk code makes, one method each, so tests can
// play a driver Wine does not have: interfaces that come and go, pipes that
// do not open, a device pulled out in the middle of a transfer.
class UsbCalls {
 public:
  virtual ~UsbCalls() = default;

  // SetupDiGetClassDevsA(class, no enumerator, no window, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE).
  virtual HDEVINFO ClassDevices(const GUID& interface_class) = 0;
  // SetupDiEnumDeviceInterfaces; `data->cbSize` is set by the caller.
  virtual BOOL EnumInterface(HDEVINFO set, const GUID& interface_class, DWORD index,
                             SP_DEVICE_INTERFACE_DATA* data) = 0;
  // SetupDiGetDeviceInterfaceDetailA; no buffer asks for the size needed.
  virtual BOOL InterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                               SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size, DWORD* needed) = 0;
  virtual BOOL DestroyList(HDEVINFO set) = 0;

  // CreateFileA for reading and writing, shared both ways, OPEN_EXISTING.
  virtual HANDLE Open(const std::string& path, DWORD flags) = 0;
  // ReadFile and WriteFile on an overlapped handle.
  virtual BOOL Read(HANDLE file, void* data, DWORD len, OVERLAPPED* overlapped) = 0;
  virtual BOOL Write(HANDLE file, const void* data, DWORD len, OVERLAPPED* overlapped) = 0;
  // GetOverlappedResult.
  virtual BOOL Result(HANDLE file, OVERLAPPED* overlapped, DWORD* moved, BOOL wait) = 0;
  // CancelIoEx.
  virtual BOOL Cancel(HANDLE file, OVERLAPPED* overlapped) = 0;
  // WaitForSingleObject.
  virtual DWORD Wait(HANDLE object, DWORD ms) = 0;
  virtual BOOL Close(HANDLE object) = 0;
  virtual DWORD LastError() = 0;
};

UsbCalls& RealUsbCalls();

}  // namespace flashkit::platform
