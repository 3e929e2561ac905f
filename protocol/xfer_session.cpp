#include "protocol/xfer_session.h"

#include <array>

#include "ports/status.h"
#include "protocol/xfer_limits.h"

namespace flashkit {

XferSession::XferSession(Port& port, TextOut& out) : port(port), out(out) {}

int32_t XferSession::ReadByte(uint32_t timeout_ms, bool use_usb) {
  uint8_t byte = 0;
  const int32_t n = port.Read(&byte, 1, timeout_ms, use_usb);
  if (n < 0) return n;
  if (n == 0) return status::kTimeout;
  return byte;
}

int32_t XferSession::WriteByte(uint8_t byte, bool use_usb) {
  const int32_t n = port.Write(&byte, 1, xfer::limits::kWriteMs, use_usb);
  if (n < 0) return n;
  if (n == 0) return status::kTimeout;
  return 1;
}

void XferSession::SendCancel(bool use_usb) {
  uint8_t burst[xfer::limits::kCancelBurst];
  for (uint8_t& byte : burst) byte = xfer::kCan;
  // Best effort: the transfer has already failed with its own status.
  port.Write(burst, sizeof burst, xfer::limits::kWriteMs, use_usb);
}

uint16_t XferSession::UpdateCrc(uint16_t crc, uint8_t byte) {
  uint32_t reg = crc;
  for (int bit = 7; bit >= 0; --bit) {
    reg = (reg << 1) | ((byte >> bit) & 1u);
    if (reg & 0x10000u) reg ^= 0x1021u;
  }
  return static_cast<uint16_t>(reg);
}

namespace {

// The same CRC a byte at a time: the augmented bit-serial register above,
// folded into a table, without the two trailing zero bytes.
constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? (crc << 1) ^ 0x1021u : crc << 1;
    table[i] = static_cast<uint16_t>(crc);
  }
  return table;
}
constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

// Every block sent and received goes through here, on the path between an
// answer and the next frame, so it goes a byte at a time.
uint16_t XferSession::BlockCrc(const uint8_t* data, uint32_t length) {
  uint16_t crc = 0;
  for (uint32_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ data[i]) & 0xFF]);
  }
  return crc;
}

uint8_t XferSession::BlockChecksum(const uint8_t* data, uint32_t length) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < length; ++i) sum += data[i];
  return static_cast<uint8_t>(sum);
}

int32_t XferSession::ClassifyReply(int32_t reply) {
  if (reply < 0) return reply;
  if (reply == xfer::kCan) {
    // One CAN may be line noise; two in a row mean the receiver gave up.
    if (cancel_count != 0) {
      ++cancel_count;
      return status::kCancelled;
    }
    cancel_count = 1;
    return 0;
  }
  cancel_count = 0;
  return reply == xfer::kAck ? 1 : 0;
}

void XferSession::DiscardUntilSilence(uint32_t quiet_ms, bool use_usb) {
  while (ReadByte(quiet_ms, use_usb) >= 0) {
  }
}

}  // namespace flashkit
