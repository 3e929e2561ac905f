#include "engines/mcu_bootloader.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace flashkit {

using mcu::Stage;

McuBootloader::McuBootloader(std::unique_ptr<RingPort> port, MessageBoxes& boxes,
                             platform::Clock& clock, const std::string& log_path)
    : m_Log(boxes, log_path), m_Port(std::move(port)), boxes_(boxes), clock_(clock) {}

McuBootloader::~McuBootloader() = default;

int32_t McuBootloader::SetOwnerWindow(ProgressWindow* owner) {
  m_hOwner = owner;
  return 1;
}

// Whatever still waits in the ring is taken as the start of this reply: the
// protocol has no frame boundaries to resynchronise on.
int32_t McuBootloader::Exchange(int32_t idle_limit) {
  m_RxCount = 0;
  std::memset(m_RxBuf, 0, sizeof(m_RxBuf));
  const int32_t tx_len = std::clamp<int32_t>(m_TxLen, 0, sizeof(m_TxBuf));
  m_Port->Write(m_TxBuf, static_cast<uint32_t>(tx_len));

  const int32_t want = std::min<int32_t>(m_RxWant, sizeof(m_RxBuf));
  int32_t idle = 0;
  while (true) {
    uint8_t byte = 0;
    if (m_Port->TakeByte(&byte) != 0) {
      m_RxBuf[m_RxCount++] = byte;
      idle = 0;
      if (m_RxCount >= want) return m_RxCount;
      continue;
    }
    m_Port->PauseForInput(1);
    if (++idle >= idle_limit) return m_RxCount;
  }
}

int32_t McuBootloader::Send(Stage stage, const uint8_t* frame, int32_t length, int32_t want) {
  const mcu::StageLimits limits = mcu::LimitsOf(stage, settings_.limits);
  m_TxLen = std::clamp<int32_t>(length, 0, sizeof(m_TxBuf));
  std::memcpy(m_TxBuf, frame, static_cast<size_t>(m_TxLen));
  m_RxWant = want != 0 ? want : limits.reply_want;
  const int32_t count = Exchange(limits.idle_limit);
  if (count > 0) answered_ = true;
  return count;
}

int32_t McuBootloader::SendAddress(Stage stage, uint32_t address) {
  std::array<uint8_t, 5> frame = {
      static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
      static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
  frame[4] = XorChecksum(4, frame.data());
  return Send(stage, frame);
}

int32_t McuBootloader::Sync() {
  const std::array<uint8_t, 1> sync = {mcu::kSyncByte};
  for (int i = 0; i < mcu::kSyncTries; ++i) {
    if (Send(Stage::kSync, sync) > 0 && Acked()) return 1;
  }
  return -1;
}

// The reply is ACK, N, N+1 payload bytes, ACK; noise before the first ACK is
// skipped. Only the collected bytes are looked at.
int32_t McuBootloader::GetId() {
  if (Send(Stage::kGetId, mcu::kGetIdCommand) == 0) return 0;
  const uint8_t* begin = m_RxBuf;
  const uint8_t* end = m_RxBuf + m_RxCount;
  const uint8_t* ack = std::find(begin, end, mcu::kAck);
  if (end - ack < 2) return 0;
  const ptrdiff_t closing = 2 + ptrdiff_t{ack[1]} + 1;
  if (end - ack <= closing || ack[closing] != mcu::kAck) return 0;
  uint32_t id = 0;
  for (const uint8_t* byte = ack + 2; byte != ack + closing && byte != ack + 6; ++byte) {
    id = (id << 8) | *byte;
  }
  product_id_ = id;
  return 1;
}

int32_t McuBootloader::Go(uint32_t address) {
  Send(Stage::kGo, mcu::kGoCommand);
  if (!Acked()) {
    // One chance to regain the bootloader's attention, then give up.
    Sync();
    Send(Stage::kGo, mcu::kGoCommand);
    if (!Acked()) return 0;
  }
  SendAddress(Stage::kGo, address);
  return Acked() ? 1 : 0;
}

int32_t McuBootloader::Erase(uint8_t count, uint8_t page) {
  Send(Stage::kEraseCommand, mcu::kEraseCommand);
  if (!Acked()) return 0;
  if (count == 0) {
    Send(Stage::kEraseParams, mcu::kGlobalErase);
  } else {
    const std::array<uint8_t, 3> pages = {count, page, static_cast<uint8_t>(count ^ page)};
    Send(Stage::kEraseParams, pages);
  }
  return Acked() ? 1 : 0;
}

int32_t McuBootloader::WriteMemory(uint32_t address, uint8_t length_code, const uint8_t* data) {
  Send(Stage::kWriteCommand, mcu::kWriteMemoryCommand);
  if (!Acked()) return 0;
  SendAddress(Stage::kWriteCommand, address);
  if (!Acked()) return 0;

  const int32_t count = int32_t{length_code} + 1;
  m_Log.HexDump("SND >>", data, count);
  uint8_t frame[2 + 256];
  frame[0] = length_code;
  std::memcpy(frame + 1, data, static_cast<size_t>(count));
  frame[count + 1] = static_cast<uint8_t>(length_code ^ XorChecksum(count, data));
  Send(Stage::kWriteData, frame, count + 2);
  return Acked() ? 1 : 0;
}

int32_t McuBootloader::ReadMemory(uint32_t address, uint8_t length_code, uint8_t* data) {
  Send(Stage::kReadCommand, mcu::kReadMemoryCommand);
  if (!Acked()) return 0;
  SendAddress(Stage::kReadCommand, address);
  if (!Acked()) return 0;
  const std::array<uint8_t, 2> length = {length_code, static_cast<uint8_t>(~length_code)};
  const int32_t count = int32_t{length_code} + 1;
  if (Send(Stage::kReadData, length.data(), 2, 1 + count) != 1 + count || !Acked()) return 0;
  std::memcpy(data, m_RxBuf + 1, static_cast<size_t>(count));
  return 1;
}

uint8_t McuBootloader::XorChecksum(int32_t length, const uint8_t* bytes) {
  uint8_t sum = 0;
  for (int32_t i = 0; i < length; ++i) sum ^= bytes[i];
  return sum;
}

void McuBootloader::Progress(uint32_t wparam, int32_t lparam) {
  // Without an owner window there is nobody to tell.
  if (m_hOwner != nullptr) m_hOwner->SendProgress(wparam, lparam);
}

}  // namespace flashkit
