// A COM port through the Win32 communications calls.
#include "platform/serial_line.h"

#include <cctype>
#include <optional>

#include "platform/poller.h"
#include "platform/win32/pollables.h"
#include "platform/win32/waits.h"
#include "platform/win32/win32_status.h"

namespace flashkit::platform {
namespace {

constexpr uint64_t kNsPerMs = 1'000'000;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

struct OpenFailureRow {
  DWORD code;
  const char* text;
};

// The reasons a port fails to open most often; others keep the system's words.
constexpr OpenFailureRow kOpenFailures[] = {
    {ERROR_FILE_NOT_FOUND, "no such device"},
    {ERROR_PATH_NOT_FOUND, "no such device"},
    {ERROR_INVALID_NAME, "no such device (the name is not a device name)"},
    {ERROR_ACCESS_DENIED, "another program is using it, or access is denied"},
    {ERROR_SHARING_VIOLATION, "another program is using it"},
    {ERROR_BAD_COMMAND, "it is not a serial port"},
    {ERROR_INVALID_FUNCTION, "it is not a serial port"},
};

struct ParityRow {
  Parity parity;
  BYTE code;
};
constexpr ParityRow kParities[] = {{Parity::kNone, NOPARITY},  {Parity::kOdd, ODDPARITY},
                                   {Parity::kEven, EVENPARITY}, {Parity::kMark, MARKPARITY},
                                   {Parity::kSpace, SPACEPARITY}};

struct StopRow {
  StopBits stop_bits;
  BYTE code;
};
constexpr StopRow kStopBits[] = {
    {StopBits::kOne, ONESTOPBIT}, {StopBits::kOnePointFive, ONE5STOPBITS}, {StopBits::kTwo, TWOSTOPBITS}};

SysStatus Check(BOOL ok, ErrnoContext context = ErrnoContext::kGeneral) {
  return ok ? SysStatus::Ok() : FromLastError(context);
}

SysStatus Refused() { return {SysError::kInvalidParameter, ERROR_INVALID_PARAMETER}; }

// A serial driver lets one program at a time open a port; Wine's serial
// layer lets any number. So an open line is also claimed by a named object
// that exists while the line is open (and goes when its holder dies): a
// second opener finds it there and is refused as the driver refuses it.
constexpr char kClaimPrefix[] = "Local\\flashkit-line-";

std::string ClaimName(const std::string& path) {
  std::string name = kClaimPrefix;
  for (char c : path) {
    // Kernel object names take no backslash; device names ignore case.
    name += c == '\\' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return name;
}

// Null with the reason when another holder has the line.
HANDLE Claim(const std::string& path, SysStatus* status) {
  HANDLE claim = ::CreateMutexA(nullptr, FALSE, ClaimName(path).c_str());
  if (claim == nullptr) {
    *status = FromLastError();
    return nullptr;
  }
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(claim);
    *status = SysStatus::FromErrno(ERROR_SHARING_VIOLATION);
    return nullptr;
  }
  return claim;
}

class Win32SerialLine : public SerialLine, public Pollable {
 public:
  Win32SerialLine(HANDLE handle, HANDLE claim, uint32_t write_stall_ms)
      : handle_(handle), claim_(claim), write_stall_ms_(write_stall_ms), id_(RegisterPollable(*this)) {}
  ~Win32SerialLine() override {
    Close();
    UnregisterPollable(id_);
  }
  Win32SerialLine(const Win32SerialLine&) = delete;
  Win32SerialLine& operator=(const Win32SerialLine&) = delete;

  // A file or another device that is no COM port has no line state.
  SysStatus TakeState() {
    DCB found{};
    found.DCBlength = sizeof found;
    COMMTIMEOUTS timeouts{};
    if (!::GetCommState(handle_, &found) || !::GetCommTimeouts(handle_, &timeouts)) {
      return {SysError::kOther, ERROR_BAD_COMMAND};
    }
    found_ = found;
    found_timeouts_ = timeouts;
    return SetReadsReturnAtOnce();
  }

  int Id() const override { return id_; }

  // A line that has gone (a pseudo-terminal hung up under Wine) still reads
  // nothing without failing; only its status call fails then, and a read
  // must report that, or a reader would wait on it for ever.
  IoResult Read(uint8_t* data, size_t len) override {
    DWORD got = 0;
    if (!::ReadFile(handle_, data, Chunk(len), &got, nullptr)) return {0, FromLastError()};
    if (got == 0) {
      DWORD errors = 0;
      COMSTAT stat{};
      if (!::ClearCommError(handle_, &errors, &stat)) return {0, FromLastError()};
    }
    return {got, SysStatus::Ok()};
  }

  // The write time-out ends a call on a line that takes nothing for a
  // stall's length; what went by then is the result.
  IoResult Write(const uint8_t* data, size_t len) override {
    size_t done = 0;
    while (done < len) {
      DWORD put = 0;
      if (!::WriteFile(handle_, data + done, Chunk(len - done), &put, nullptr)) {
        if (done > 0) break;
        return {0, FromLastError()};
      }
      if (put == 0) break;
      done += put;
    }
    return {done, SysStatus::Ok()};
  }

  void PollInput(uint32_t ms) override {
    WaitUntilReady([this] { return InputReady(); }, {}, false, MonotonicNs() + uint64_t{ms} * kNsPerMs);
  }

  // The line gets the settings and time-outs it had back before the handle goes.
  bool Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    if (found_) ::SetCommState(handle_, &*found_);
    if (found_timeouts_) ::SetCommTimeouts(handle_, &*found_timeouts_);
    const bool closed = ::CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    ::CloseHandle(claim_);
    return closed;
  }

  SysStatus Flush() override { return Check(::FlushFileBuffers(handle_)); }
  SysStatus Purge() override { return Check(::PurgeComm(handle_, kPurgeAll)); }

  SysStatus GetSettings(LineSettings& settings) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb)) return FromLastError();
    settings.baud = dcb.BaudRate;
    settings.byte_size = dcb.ByteSize;
    for (const ParityRow& row : kParities) {
      if (row.code == dcb.Parity) settings.parity = row.parity;
    }
    for (const StopRow& row : kStopBits) {
      if (row.code == dcb.StopBits) settings.stop_bits = row.stop_bits;
    }
    settings.rts_cts = dcb.fOutxCtsFlow != 0;
    return SysStatus::Ok();
  }

  // Settings no line can have are refused before the driver is asked, as
  // on Linux; the rest is the driver's to refuse.
  SysStatus SetSettings(const LineSettings& settings) override {
    if (settings.baud == 0 || settings.byte_size < 5 || settings.byte_size > 8 ||
        settings.stop_bits == StopBits::kOnePointFive) {
      return Refused();
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb)) return FromLastError();
    dcb.BaudRate = settings.baud;
    dcb.ByteSize = settings.byte_size;
    for (const ParityRow& row : kParities) {
      if (row.parity == settings.parity) dcb.Parity = row.code;
    }
    for (const StopRow& row : kStopBits) {
      if (row.stop_bits == settings.stop_bits) dcb.StopBits = row.code;
    }
    dcb.fBinary = TRUE;
    dcb.fParity = settings.parity != Parity::kNone;
    dcb.fOutxCtsFlow = settings.rts_cts;
    dcb.fRtsControl = settings.rts_cts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    return Check(::SetCommState(handle_, &dcb), ErrnoContext::kLineSetting);
  }

  SysStatus SetReadsReturnAtOnce() override {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = write_stall_ms_;
    return Check(::SetCommTimeouts(handle_, &timeouts));
  }

  SysStatus SetDtr(bool on) override {
    return Check(::EscapeCommFunction(handle_, on ? SETDTR : CLRDTR));
  }

  // A line whose driver no longer answers has failed: the read reports it.
  bool InputReady() override {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(handle_, &errors, &stat)) return true;
    return stat.cbInQue > 0;
  }

 private:
  static DWORD Chunk(size_t len) { return static_cast<DWORD>(len > MAXDWORD ? MAXDWORD : len); }

  HANDLE handle_;
  HANDLE claim_;
  uint32_t write_stall_ms_;
  int id_;
  std::optional<DCB> found_;
  std::optional<COMMTIMEOUTS> found_timeouts_;
};

// Windows keeps a USB adapter's latency timer in the driver's own settings
// (Device Manager, Advanced); there is nothing to ask here.
class NoSerialDriver : public SerialDriver {
 public:
  SysStatus GetFlags(int, int&) override { return {SysError::kOther, ERROR_NOT_SUPPORTED}; }
  SysStatus SetFlags(int, int) override { return {SysError::kOther, ERROR_NOT_SUPPORTED}; }
};

}  // namespace

SerialDriver& RealSerialDriver() {
  static NoSerialDriver driver;
  return driver;
}

std::string SerialOpenFailureText(const SysStatus& status) {
  for (const OpenFailureRow& row : kOpenFailures) {
    if (static_cast<int>(row.code) == status.os_errno) return row.text;
  }
  return status.Text();
}

// Exclusive (share mode 0): a port another program holds gives access
// denied. No overlapped flag: reads return at once through the time-outs.
Opened<SerialLine> OpenSerialLine(const std::string& path, uint32_t write_stall_ms, SerialDriver&) {
  HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {nullptr, FromLastError()};
  SysStatus claimed;
  HANDLE claim = Claim(path, &claimed);
  if (claim == nullptr) {
    ::CloseHandle(handle);
    return {nullptr, claimed};
  }
  auto line = std::make_unique<Win32SerialLine>(handle, claim, write_stall_ms);
  if (SysStatus s = line->TakeState(); !s.ok()) return {nullptr, s};
  return {std::move(line), SysStatus::Ok()};
}

}  // namespace flashkit::platform
