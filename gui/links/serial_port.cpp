#include "gui/links/serial_port.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <limits>

#include "platform/serial_line.h"

namespace flashkit {
namespace {

// The line's codes as the callers give them, by value.
constexpr platform::Parity kParityCodes[] = {platform::Parity::kNone, platform::Parity::kOdd,
                                             platform::Parity::kEven, platform::Parity::kMark,
                                             platform::Parity::kSpace};
constexpr platform::StopBits kStopBitCodes[] = {platform::StopBits::kOne,
                                                platform::StopBits::kOnePointFive,
                                                platform::StopBits::kTwo};

constexpr uint32_t kFastBaud = 115200;
constexpr uint32_t kSlowBaud = 38400;

// Beyond any port number: a number this large is refused, not wrapped.
constexpr int32_t kDigitsCap = 100000;

int16_t ToPortNumber(int64_t number) {
  return static_cast<int16_t>(std::clamp<int64_t>(number, std::numeric_limits<int16_t>::min(),
                                                  std::numeric_limits<int16_t>::max()));
}

platform::SysStatus CodeRefused() { return {platform::SysError::kInvalidParameter, 0}; }

}  // namespace

SerialPort::SerialPort(platform::DeviceSystem& system, MessageBoxes& boxes)
    : system_(system), boxes_(boxes) {}

SerialPort::~SerialPort() {
  if (m_hCom) Close();
}

void SerialPort::SetParams(int32_t port_index, uint32_t baud, uint8_t byte_size, uint8_t stop_bits,
                           uint8_t parity) {
  m_PortNumber = ToPortNumber(static_cast<int64_t>(port_index) + 1);
  m_Baud = baud;
  m_ByteSize = byte_size;
  m_StopBits = stop_bits;
  m_Parity = parity;
}

void SerialPort::SetPath(const std::string& path) { path_ = path; }

std::string SerialPort::OpenFailureText() const { return open_failure_; }

int32_t SerialPort::OpenFailed(std::string why) {
  m_RDEvent.reset();
  open_failure_ = std::move(why);
  return 0;
}

// Every COM number opens the same way: the limit of ten belonged to the
// device names of the system this dialog was first written for.
int32_t SerialPort::Open() {
  // A second Open would orphan the running reader.
  if (m_hCom) return 0;
  open_failure_.clear();
  m_RDEvent = system_.NewEvent();
  if (!m_RDEvent) return OpenFailed("no event for the reader could be made");
  platform::Opened<platform::SerialLine> opened =
      system_.OpenSerial(path_.empty() ? "COM" + std::to_string(m_PortNumber) : path_);
  if (!opened.device) return OpenFailed(platform::SerialOpenFailureText(opened.status));
  m_hCom = std::move(opened.device);
  // The reader waits on the line itself, so reads only need to return what
  // has arrived. Neither result matters: the line settings decide.
  m_hCom->SetReadsReturnAtOnce();
  m_hCom->Purge();
  if (!ApplyLineSettings()) {
    m_bRunning = 0;
    m_hCom->Close();
    m_hCom.reset();
    return OpenFailed("the line settings were refused");
  }
  m_Ring.Reset();
  m_bRunning = 1;
  StartReader();
  return 1;
}

bool SerialPort::ApplyLineSettings() {
  platform::LineSettings settings;
  // Every field is set below; a line that cannot report its settings refuses
  // new ones too.
  m_hCom->GetSettings(settings);
  platform::SysStatus status = CodeRefused();
  if (m_Parity < std::size(kParityCodes) && m_StopBits < std::size(kStopBitCodes)) {
    settings.baud = m_Baud;
    settings.byte_size = m_ByteSize;
    settings.parity = kParityCodes[m_Parity];
    settings.stop_bits = kStopBitCodes[m_StopBits];
    settings.rts_cts = false;
    status = m_hCom->SetSettings(settings);
  }
  if (!status.ok()) {
    char text[32];
    std::snprintf(text, sizeof text, "last error %d", static_cast<int>(status.error));
    boxes_.Show(text);
    return false;
  }
  // The line is held with DTR off, as a line without DTR control is; a line
  // without modem lines ignores it.
  m_hCom->SetDtr(false);
  return true;
}

int32_t SerialPort::Write(const uint8_t* data, uint32_t length) {
  if (!m_hCom || length == 0) return 0;
  const platform::IoResult result = m_hCom->Write(data, length);
  return static_cast<int32_t>(std::min<size_t>(result.count, std::numeric_limits<int32_t>::max()));
}

int32_t SerialPort::Close() {
  StopReader();
  if (!m_hCom) {
    m_RDEvent.reset();
    return 0;
  }
  m_hCom->SetDtr(false);
  m_hCom->Purge();
  const bool closed = m_hCom->Close();
  m_hCom.reset();
  m_RDEvent.reset();
  return closed ? 1 : 0;
}

uint32_t SerialPort::BaudFromText(const std::string& text) {
  return text == "115200" ? kFastBaud : kSlowBaud;
}

int16_t SerialPort::PortIndexFromText(const std::string& text) {
  int32_t number = 0;
  size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    number = std::min(number * 10 + (text[i] - '0'), kDigitsCap);
  }
  if (i == 0) return 0;
  return ToPortNumber(number - 1);
}

}  // namespace flashkit
