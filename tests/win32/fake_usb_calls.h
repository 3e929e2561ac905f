#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/usb_calls.h"

namespace flashkit::testing {

// A bulk device driver played in memory: the interfaces of the class, the
// files that open, and for each pipe the bytes the device sends and takes.
// Overlapped reads stay pending until bytes arrive (Deliver) or the device
// goes (Unplug); no call ever waits.
class FakeUsbCalls : public platform::UsbCalls {
 public:
  std::optional<std::vector<std::string>> interfaces = std::vector<std::string>{};  // nothing: no set
  std::set<std::string> missing;  // paths that do not open
  bool device_takes_writes = true;
  int lists_obtained = 0;
  int lists_destroyed = 0;
  std::vector<std::string> opened;  // "<path> <flags>"
  std::vector<std::string> closed;
  int reads_issued = 0;
  std::vector<uint8_t> written;

  // Bytes from the device; they complete a read in flight at once.
  void Deliver(const std::vector<uint8_t>& bytes);
  // The device is pulled out: what is in flight fails, and so does the rest.
  void Unplug();

  HDEVINFO ClassDevices(const GUID& interface_class) override;
  BOOL EnumInterface(HDEVINFO set, const GUID& interface_class, DWORD index,
                     SP_DEVICE_INTERFACE_DATA* data) override;
  BOOL InterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail,
                       DWORD size, DWORD* needed) override;
  BOOL DestroyList(HDEVINFO set) override;
  HANDLE Open(const std::string& path, DWORD flags) override;
  BOOL Read(HANDLE file, void* data, DWORD len, OVERLAPPED* overlapped) override;
  BOOL Write(HANDLE file, const void* data, DWORD len, OVERLAPPED* overlapped) override;
  BOOL Result(HANDLE file, OVERLAPPED* overlapped, DWORD* moved, BOOL wait) override;
  BOOL Cancel(HANDLE file, OVERLAPPED* overlapped) override;
  DWORD Wait(HANDLE object, DWORD ms) override;
  BOOL Close(HANDLE object) override;
  DWORD LastError() override { return last_error_; }

 private:
  struct Transfer {
    uint8_t* buffer = nullptr;  // a read's
    DWORD capacity = 0;
    std::optional<DWORD> done;  // bytes moved, once complete
    DWORD error = 0;            // how it failed, once complete
  };
  BOOL Fail(DWORD error) {
    last_error_ = error;
    return FALSE;
  }
  void Complete(OVERLAPPED* overlapped, Transfer& t, DWORD moved, DWORD error);

  std::vector<uint8_t> incoming_;
  bool unplugged_ = false;
  std::map<OVERLAPPED*, Transfer> transfers_;
  std::map<HANDLE, std::string> handles_;
  uintptr_t next_handle_ = 0x100;
  DWORD last_error_ = 0;
};

}  // namespace flashkit::testing
