#include "ports/device_port.h"

#include <algorithm>
#include <new>

#include "platform/device_namespace.h"
#include "platform/serial_line.h"
#include "platform/signals.h"
#include "ports/poll_transfer.h"
#include "ports/status.h"

namespace flashkit {
namespace {

using platform::SysError;
using platform::SysStatus;

// Port numbers have at most three digits.
constexpr uint32_t kPortLimit = 1000;
constexpr char kComPrefix[] = "\\\\.\\com";

struct OpenFailure {
  SysError error;
  int32_t status;
};
constexpr OpenFailure kOpenFailures[] = {
    {SysError::kFileNotFound, status::kPortNotFound},
    {SysError::kAccessDenied, status::kPortAccessDenied},
};

int32_t OpenStatus(SysError error) {
  for (const OpenFailure& f : kOpenFailures) {
    if (f.error == error) return f.status;
  }
  return status::kPortError;
}

// The line set-up, step by step; each step's failure ends it.
struct SetupState {
  platform::SerialLine& line;
  uint32_t baud;
  platform::LineSettings settings{};
};

struct SetupStep {
  SysStatus (*run)(SetupState&);
  int32_t refused;  // the status when the driver refuses the request
};

SysStatus PurgeBoth(SetupState& s) { return s.line.Purge(); }

// Eight data bits, no parity, one stop bit at the asked rate; flow control and
// everything else stay as the line reported them.
SysStatus ApplyRate(SetupState& s) {
  s.settings.baud = s.baud;
  s.settings.byte_size = 8;
  s.settings.parity = platform::Parity::kNone;
  s.settings.stop_bits = platform::StopBits::kOne;
  return s.line.SetSettings(s.settings);
}

constexpr SetupStep kSetupSteps[] = {
    {[](SetupState& s) { return s.line.Flush(); }, status::kPortError},
    {PurgeBoth, status::kPortError},
    {[](SetupState& s) { return s.line.GetSettings(s.settings); }, status::kPortError},
    {ApplyRate, status::kPortBadSettings},
    {[](SetupState& s) { return s.line.SetReadsReturnAtOnce(); }, status::kPortError},
    {PurgeBoth, status::kPortError},
};

}  // namespace

DevicePort::DevicePort(platform::DeviceSystem& system, TextOut& out, const Crc16Table& crc)
    : system_(system), out_(out), crc_(crc) {}

DevicePort::~DevicePort() { ClosePort(); }

std::unique_ptr<DevicePort> CreatePort(platform::DeviceSystem& system, TextOut& out,
                                       const Crc16Table& crc) {
  return std::unique_ptr<DevicePort>(new (std::nothrow) DevicePort(system, out, crc));
}

// The two records go with the USB pipes. Their events are made whatever the
// link; without both pipes open there is nothing to go with, which the USB
// set-up reports as a failure (the COM set-up ignores the result).
int32_t DevicePort::CreateComInfo() {
  m_RDOverlapped.offset = 0;
  m_WROverlapped.offset = 0;
  m_RDOverlapped.event = system_.NewEvent();
  if (!m_RDOverlapped.event) return 0;
  m_WROverlapped.event = system_.NewEvent();
  if (!m_WROverlapped.event) {
    m_RDOverlapped.event.reset();
    return 0;
  }
  return m_bUSBOpened != 0 ? 1 : 0;
}

int32_t DevicePort::OpenPort(uint32_t port) {
  if (port >= kPortLimit) {
    open_status_ = {SysError::kFileNotFound, 0};
    return status::kPortNotFound;
  }
  return OpenLine(kComPrefix + std::to_string(port));
}

int32_t DevicePort::OpenPortPath(const std::string& path) {
  if (!platform::IsSerialPath(path)) {
    open_status_ = {SysError::kFileNotFound, 0};
    return status::kPortNotFound;
  }
  return OpenLine(path);
}

int32_t DevicePort::OpenLine(const std::string& device_name) {
  platform::Opened<platform::SerialLine> opened = system_.OpenSerial(device_name);
  m_hCom = std::move(opened.device);
  open_status_ = opened.status;
  if (!m_hCom) return OpenStatus(opened.status.error);
  return status::kOk;
}

std::string DevicePort::OpenFailureText() const {
  return open_status_.ok() ? std::string() : platform::SerialOpenFailureText(open_status_);
}

int32_t DevicePort::ConfigurePort(uint32_t baud) {
  CreateComInfo();
  if (!m_hCom) return status::kPortError;
  SetupState state{*m_hCom, baud};
  for (const SetupStep& step : kSetupSteps) {
    const SysStatus result = step.run(state);
    if (!result.ok()) {
      return result.error == SysError::kInvalidParameter ? step.refused : status::kPortError;
    }
  }
  line_baud_ = baud;
  return status::kOk;
}

platform::Device* DevicePort::Sender(bool use_usb) const {
  return use_usb ? m_WRDev.get() : m_hCom.get();
}

platform::Device* DevicePort::Receiver(bool use_usb) const {
  return use_usb ? m_RDDev.get() : m_hCom.get();
}

int32_t DevicePort::Write(const uint8_t* data, uint32_t length, uint32_t timeout_ms, bool use_usb) {
  platform::Device* device = Sender(use_usb);
  if (device == nullptr) return status::kPortWriteFailed;
  platform::Clock& clock = system_.clock();
  return PollTransfer(
      timeout_ms, status::kPortWriteFailed,
      [&] {
        const platform::IoResult result = device->Write(data, length);
        if (result.ok() && use_usb && length > 0) {
          out_.Print("Write Data : " + std::string(1, static_cast<char>(data[0])));
        }
        return result;
      },
      [&](uint32_t ms) {
        clock.SleepMs(ms);
        return ms;
      });
}

int32_t DevicePort::Read(uint8_t* buffer, uint32_t length, uint32_t timeout_ms, bool use_usb) {
  platform::Device* device = Receiver(use_usb);
  if (device == nullptr) return status::kPortReadFailed;
  // A device that never pauses would otherwise keep a reader from ever
  // waiting, and so from noticing a stop.
  if (platform::StopSignal() != 0) return status::kInterrupted;
  platform::Clock& clock = system_.clock();
  // A wait ends as soon as input comes or a stop signal arrives, so on a COM
  // line one wait may cover the whole time-out: no wake-ups every few
  // milliseconds while the far end is busy. Only the time really waited
  // counts, so a wake-up without bytes does not cut the time-out short.
  const int32_t n = PollTransfer(
      timeout_ms, status::kPortReadFailed, [&] { return device->Read(buffer, length); },
      [&](uint32_t ms) {
        const uint64_t before = clock.NowMs();
        clock.SleepUntilInput(*device, ms);
        return static_cast<uint32_t>(std::min<uint64_t>(clock.NowMs() - before, ms));
      },
      use_usb ? kPollStepMs : timeout_ms);
  if (use_usb || line_baud_ == 0 || n <= 0 || static_cast<uint32_t>(n) >= length) return n;
  return n + static_cast<int32_t>(TopUp(*device, buffer + n, length - static_cast<uint32_t>(n)));
}

uint32_t DevicePort::TopUp(platform::Device& device, uint8_t* buffer, uint32_t missing) {
  // Ten bits a character (8N1). The wait covers three quarters of the
  // rest's line time, at most kMaxWaitMs: a late wake-up would hold up the
  // answer to the block, an early one costs a few more reads.
  constexpr uint64_t kBitsPerChar = 10;
  constexpr uint64_t kMaxWaitMs = 100;
  const uint64_t wait_ms = uint64_t{missing} * kBitsPerChar * 1000 * 3 / 4 / line_baud_;
  if (wait_ms == 0) return 0;
  system_.clock().SleepMs(static_cast<uint32_t>(std::min(kMaxWaitMs, wait_ms)));
  // A failure shows on the next read; what came before it is kept.
  const platform::IoResult more = device.Read(buffer, missing);
  return more.ok() ? static_cast<uint32_t>(std::min<size_t>(more.count, missing)) : 0;
}

int32_t DevicePort::ClosePort() {
  if (!m_hCom) return -1;
  const bool closed = m_hCom->Close();
  m_hCom.reset();
  return closed ? 1 : 0;
}

}  // namespace flashkit
