#include "tests/win32/fake_usb_calls.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace flashkit::testing {
namespace {

const HDEVINFO kSet = reinterpret_cast<HDEVINFO>(static_cast<uintptr_t>(0x5e7));

}  // namespace

void FakeUsbCalls::Complete(OVERLAPPED* overlapped, Transfer& t, DWORD moved, DWORD error) {
  t.done = moved;
  t.error = error;
  ::SetEvent(overlapped->hEvent);
}

void FakeUsbCalls::Deliver(const std::vector<uint8_t>& bytes) {
  incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
  for (auto& [overlapped, t] : transfers_) {
    if (t.buffer == nullptr || t.done || incoming_.empty()) continue;
    const DWORD n = std::min<DWORD>(t.capacity, static_cast<DWORD>(incoming_.size()));
    std::copy_n(incoming_.begin(), n, t.buffer);
    incoming_.erase(incoming_.begin(), incoming_.begin() + n);
    Complete(overlapped, t, n, 0);
  }
}

void FakeUsbCalls::Unplug() {
  unplugged_ = true;
  interfaces = std::vector<std::string>{};
  for (auto& [overlapped, t] : transfers_) {
    if (!t.done) Complete(overlapped, t, 0, ERROR_DEVICE_NOT_CONNECTED);
  }
}

HDEVINFO FakeUsbCalls::ClassDevices(const GUID&) {
  if (!interfaces) {
    last_error_ = ERROR_INVALID_DATA;
    return INVALID_HANDLE_VALUE;
  }
  ++lists_obtained;
  return kSet;
}

BOOL FakeUsbCalls::EnumInterface(HDEVINFO set, const GUID&, DWORD index, SP_DEVICE_INTERFACE_DATA* data) {
  if (set != kSet || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_PARAMETER);
  if (index >= interfaces->size()) return Fail(ERROR_NO_MORE_ITEMS);
  data->Reserved = index;
  return TRUE;
}

// The size first, then the path, into a record whose size field is the
// platform's fixed part.
BOOL FakeUsbCalls::InterfaceDetail(HDEVINFO, SP_DEVICE_INTERFACE_DATA* data,
                                   SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size, DWORD* needed) {
  const std::string& path = (*interfaces)[data->Reserved];
  const DWORD want = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
  if (needed != nullptr) *needed = want;
  if (detail == nullptr || size < want) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return Fail(ERROR_INVALID_USER_BUFFER);
  std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
  return TRUE;
}

BOOL FakeUsbCalls::DestroyList(HDEVINFO) {
  ++lists_destroyed;
  return TRUE;
}

HANDLE FakeUsbCalls::Open(const std::string& path, DWORD flags) {
  if (unplugged_ || missing.contains(path)) {
    last_error_ = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  opened.push_back(path + " " + std::to_string(flags));
  HANDLE handle = reinterpret_cast<HANDLE>(next_handle_++);
  handles_[handle] = path;
  return handle;
}

BOOL FakeUsbCalls::Read(HANDLE, void* data, DWORD len, OVERLAPPED* overlapped) {
  ++reads_issued;
  if (unplugged_) return Fail(ERROR_DEVICE_NOT_CONNECTED);
  Transfer& t = transfers_[overlapped];
  t = Transfer{};
  t.buffer = static_cast<uint8_t*>(data);
  t.capacity = len;
  Deliver({});
  return t.done ? TRUE : Fail(ERROR_IO_PENDING);
}

BOOL FakeUsbCalls::Write(HANDLE, const void* data, DWORD len, OVERLAPPED* overlapped) {
  if (unplugged_) return Fail(ERROR_DEVICE_NOT_CONNECTED);
  Transfer& t = transfers_[overlapped];
  t = Transfer{};
  if (!device_takes_writes) return Fail(ERROR_IO_PENDING);
  const auto* bytes = static_cast<const uint8_t*>(data);
  written.insert(written.end(), bytes, bytes + len);
  Complete(overlapped, t, len, 0);
  return TRUE;
}

BOOL FakeUsbCalls::Result(HANDLE, OVERLAPPED* overlapped, DWORD* moved, BOOL wait) {
  Transfer& t = transfers_[overlapped];
  if (!t.done) {
    // A wait on a transfer nothing will complete would hang the test.
    if (wait) return Fail(ERROR_INVALID_FUNCTION);
    return Fail(ERROR_IO_INCOMPLETE);
  }
  *moved = *t.done;
  return t.error == 0 ? TRUE : Fail(t.error);
}

BOOL FakeUsbCalls::Cancel(HANDLE, OVERLAPPED* overlapped) {
  Transfer& t = transfers_[overlapped];
  if (!t.done) Complete(overlapped, t, 0, ERROR_OPERATION_ABORTED);
  return TRUE;
}

DWORD FakeUsbCalls::Wait(HANDLE object, DWORD) {
  return ::WaitForSingleObject(object, 0) == WAIT_OBJECT_0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL FakeUsbCalls::Close(HANDLE object) {
  const auto found = handles_.find(object);
  if (found == handles_.end()) return Fail(ERROR_INVALID_HANDLE);
  closed.push_back(found->second);
  handles_.erase(found);
  return TRUE;
}

}  // namespace flashkit::testing
