// A USB bulk pipe opened as a file, driven with overlapped I/O so a read
// never waits for the device.
#include <algorithm>
#include <vector>

#include "platform/fd_device.h"
#include "platform/poller.h"
#include "platform/win32/pollables.h"
#include "platform/win32/usb_devices.h"
#include "platform/win32/waits.h"

namespace flashkit::platform {
namespace {

// One bulk read at a time is asked for; the driver completes it with what a
// packet or a short transfer brought, at most this much.
constexpr DWORD kReadChunk = 4096;
constexpr uint64_t kNsPerMs = 1'000'000;

SysStatus Failure(DWORD code) { return SysStatus::FromErrno(static_cast<int>(code)); }

class OverlappedRecord {
 public:
  OverlappedRecord() { record_.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~OverlappedRecord() {
    if (record_.hEvent != nullptr) ::CloseHandle(record_.hEvent);
  }
  OverlappedRecord(const OverlappedRecord&) = delete;
  OverlappedRecord& operator=(const OverlappedRecord&) = delete;

  bool ok() const { return record_.hEvent != nullptr; }
  // Offsets stay 0: a pipe is no file with positions.
  OVERLAPPED* Fresh() {
    record_.Internal = record_.InternalHigh = 0;
    record_.Offset = record_.OffsetHigh = 0;
    ::ResetEvent(record_.hEvent);
    return &record_;
  }
  OVERLAPPED* get() { return &record_; }
  HANDLE event() const { return record_.hEvent; }

 private:
  OVERLAPPED record_{};
};

class UsbPipe : public Device, public Pollable {
 public:
  UsbPipe(UsbCalls& calls, HANDLE file) : calls_(calls), file_(file), id_(RegisterPollable(*this)) {}
  ~UsbPipe() override {
    Close();
    UnregisterPollable(id_);
  }
  UsbPipe(const UsbPipe&) = delete;
  UsbPipe& operator=(const UsbPipe&) = delete;

  bool ok() const { return read_.ok() && write_.ok(); }
  int Id() const override { return id_; }

  IoResult Read(uint8_t* data, size_t len) override {
    if (file_ == INVALID_HANDLE_VALUE) return {0, Failure(ERROR_INVALID_HANDLE)};
    if (SysStatus s = Collect(); !s.ok()) return {0, s};
    const size_t count = std::min(len, buffer_.size() - taken_);
    std::copy_n(buffer_.begin() + static_cast<std::ptrdiff_t>(taken_), count, data);
    taken_ += count;
    return {count, SysStatus::Ok()};
  }

  // Waits while the device takes the bytes, at most a stall's length; a
  // transfer still pending then is cancelled and what went is reported.
  IoResult Write(const uint8_t* data, size_t len) override {
    if (file_ == INVALID_HANDLE_VALUE) return {0, Failure(ERROR_INVALID_HANDLE)};
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(len, MAXDWORD));
    OVERLAPPED* record = write_.Fresh();
    if (!calls_.Write(file_, data, chunk, record)) {
      const DWORD error = calls_.LastError();
      if (error != ERROR_IO_PENDING) return {0, Failure(error)};
      if (calls_.Wait(write_.event(), FdDevice::kWriteStallMs) != WAIT_OBJECT_0) {
        calls_.Cancel(file_, record);
      }
    }
    DWORD moved = 0;
    if (!calls_.Result(file_, record, &moved, TRUE)) {
      const DWORD error = calls_.LastError();
      // A cancelled transfer reports what went before the cancel.
      if (error != ERROR_OPERATION_ABORTED) return {0, Failure(error)};
    }
    return {moved, SysStatus::Ok()};
  }

  void PollInput(uint32_t ms) override {
    WaitUntilReady([this] { return InputReady(); }, {read_.event()}, true,
                   MonotonicNs() + uint64_t{ms} * kNsPerMs);
  }

  bool Close() override {
    if (file_ == INVALID_HANDLE_VALUE) return true;
    if (pending_) {
      calls_.Cancel(file_, read_.get());
      DWORD ignored = 0;
      calls_.Result(file_, read_.get(), &ignored, TRUE);
      pending_ = false;
    }
    const bool closed = calls_.Close(file_) != 0;
    file_ = INVALID_HANDLE_VALUE;
    return closed;
  }

  // Bytes are waiting, or the pipe has failed: the next read says which.
  bool InputReady() override {
    const SysStatus s = Collect();
    return !s.ok() || taken_ < buffer_.size();
  }
  HANDLE Signal() const override { return read_.event(); }

 private:
  // Takes a completed read into the buffer once it is empty, and keeps one
  // read in flight while it is.
  SysStatus Collect() {
    if (taken_ < buffer_.size()) return SysStatus::Ok();
    if (failed_) return *failed_;
    if (!pending_) {
      buffer_.resize(kReadChunk);
      taken_ = buffer_.size();
      if (!calls_.Read(file_, buffer_.data(), kReadChunk, read_.Fresh())) {
        const DWORD error = calls_.LastError();
        if (error != ERROR_IO_PENDING) return Fail(error);
      }
      pending_ = true;
    }
    DWORD moved = 0;
    if (!calls_.Result(file_, read_.get(), &moved, FALSE)) {
      const DWORD error = calls_.LastError();
      if (error == ERROR_IO_INCOMPLETE) return SysStatus::Ok();
      pending_ = false;
      return Fail(error);
    }
    pending_ = false;
    buffer_.resize(moved);
    taken_ = 0;
    return SysStatus::Ok();
  }

  // A device that went away stays gone for this handle.
  SysStatus Fail(DWORD error) {
    failed_ = Failure(error);
    return *failed_;
  }

  UsbCalls& calls_;
  HANDLE file_;
  int id_;
  OverlappedRecord read_;
  OverlappedRecord write_;
  std::vector<uint8_t> buffer_;
  size_t taken_ = 0;
  bool pending_ = false;
  std::optional<SysStatus> failed_;
};

// Holds the interface open and does nothing else.
class InterfaceHandle : public Device {
 public:
  InterfaceHandle(UsbCalls& calls, HANDLE file) : calls_(calls), file_(file) {}
  ~InterfaceHandle() override { Close(); }
  InterfaceHandle(const InterfaceHandle&) = delete;
  InterfaceHandle& operator=(const InterfaceHandle&) = delete;

  int Id() const override { return static_cast<int>(reinterpret_cast<std::intptr_t>(file_)); }
  IoResult Read(uint8_t*, size_t) override { return {0, Failure(ERROR_INVALID_FUNCTION)}; }
  IoResult Write(const uint8_t*, size_t) override { return {0, Failure(ERROR_INVALID_FUNCTION)}; }
  void PollInput(uint32_t) override {}
  bool Close() override {
    if (file_ == INVALID_HANDLE_VALUE) return true;
    const bool closed = calls_.Close(file_) != 0;
    file_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  UsbCalls& calls_;
  HANDLE file_;
};

}  // namespace

Opened<Device> OpenUsbPipe(UsbCalls& calls, const std::string& path) {
  HANDLE file = calls.Open(path, FILE_FLAG_OVERLAPPED);
  if (file == INVALID_HANDLE_VALUE) return {nullptr, Failure(calls.LastError())};
  auto pipe = std::make_unique<UsbPipe>(calls, file);
  if (!pipe->ok()) return {nullptr, Failure(ERROR_NOT_ENOUGH_MEMORY)};
  return {std::move(pipe), SysStatus::Ok()};
}

Opened<Device> OpenUsbInterface(UsbCalls& calls, const std::string& path) {
  HANDLE file = calls.Open(path, 0);
  if (file == INVALID_HANDLE_VALUE) return {nullptr, Failure(calls.LastError())};
  return {std::make_unique<InterfaceHandle>(calls, file), SysStatus::Ok()};
}

}  // namespace flashkit::platform
